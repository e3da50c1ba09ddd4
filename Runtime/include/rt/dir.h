/* Directories by UTF-8 path: existence test, creation, removal, and directory handles
 * that hold a directory open (optionally with a file-name filter). */
#pragma once
#include "rt/types.h"
#include "rt/status.h"

/** A directory handle; null is no directory. */
typedef struct RTDIROBJ *RTDIR;

/* Filter kinds of RTDirOpenFilteredPath. */
inline constexpr uint32_t RTDIRFILTER_NONE       = 1;
/** The path's last component is a filter in the native wildcard syntax. */
inline constexpr uint32_t RTDIRFILTER_WILDCARD   = 2;

/* Open flags; bits 0 and 1 are accepted and change nothing here. */
inline constexpr uint32_t RTDIROPEN_NO_SYMLINKS  = 0x4;  /**< refuse a symbolic link at the directory itself */
inline constexpr uint32_t RTDIROPEN_NO_ABS_PATH  = 0x8;  /**< use the path as given */
inline constexpr uint32_t RTDIROPEN_VALID_MASK   = 0xF;

/* Create flags of RTDirMake. */
/** Do not give the new directory the not-content-indexed attribute. */
inline constexpr uint32_t RTDIRMAKE_KEEP_INDEXED          = 0x2;
/** A failure to set the not-content-indexed attribute is not an error. */
inline constexpr uint32_t RTDIRMAKE_IGNORE_INDEX_FAILURE  = 0x4;

RT_C_DECLS_BEGIN

/** Whether the path names a directory (following a final symbolic link); any failure is false. */
bool     RTDirExists(const char *pszPath);
/** Creates a directory. @a fMode (a mode word) is only validated on this platform. */
RTSTATUS RTDirMake(const char *pszPath, uint32_t fMode, uint32_t fCreate);
/** Creates a directory with a unique name: the template's run of 'X' (trailing, or three
 *  or more inside the last component) is replaced by random characters from [0-9a-z].
 *  The template holds the name made, or is emptied on failure. */
RTSTATUS RTDirMakeTemp(char *pszTemplate, uint32_t fMode);
/** Removes an empty directory. */
RTSTATUS RTDirDelete(const char *pszPath);
/** Opens a directory and holds it open (it cannot be removed meanwhile). */
RTSTATUS RTDirOpenPath(RTDIR *phDir, const char *pszPath);
RTSTATUS RTDirOpenFilteredPath(RTDIR *phDir, const char *pszPath, uint32_t enmFilter, uint32_t fFlags);
RTSTATUS RTDirClose(RTDIR hDir);
/** Whether the handle is a live directory handle. */
bool     RTDirHandleValid(RTDIR hDir);

RT_C_DECLS_END
