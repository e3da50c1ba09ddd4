/* The directory handle record and what the directory module and its native layer share. */
#pragma once
#include "rt/dir.h"
#include "rt/string.h"

inline constexpr uint32_t RTDIR_MAGIC      = 0x19291112;
inline constexpr uint32_t RTDIR_MAGIC_DEAD = 0xE6D6EEED;

/** Decides whether a name (UTF-8) passes the handle's filter. */
typedef bool (*PFNRTDIRFILTER)(struct RTDIROBJ *pDir, const char *pszName);

/** A directory handle, allocated in one zero-filled block together with its strings. */
struct RTDIROBJ
{
    uint32_t        u32Magic;
    uint32_t        enmFilter;       /**< RTDIRFILTER_NONE or RTDIRFILTER_WILDCARD */
    PFNRTDIRFILTER  pfnFilter;       /**< null: every name passes */
    RTUNICP        *puszFilter;      /**< compiled filter, zero-terminated */
    size_t          cucFilter;
    char           *pszFilter;       /**< the filter as given */
    size_t          cchFilter;
    RTUTF16        *pwszNtFilter;    /**< the filter for the native layer (wildcards only), separately allocated */
    size_t          cwcNtFilter;
    char           *pszPath;         /**< the directory, ending with a separator */
    size_t          cchPath;
    uint32_t        fFlags;          /**< RTDIROPEN_XXX */
    bool            fDirSlash;       /**< the given path ended with a separator or carried a filter */
    bool            fIsObjDir;       /**< the handle is an NT object directory */
    intptr_t        hDir;            /**< native handle, -1 when not open */
    void           *pvBuf;           /**< entry buffer, if one was ever made */
};

/** Creates a directory whose mode RTDirMake has checked; @p fCreate are its RTDIRMAKE_ flags. */
RTSTATUS rtDirNativeMake(const char *pszPath, uint32_t fCreate);
/** Opens the native directory handle of a prepared record (pszPath, fFlags, fDirSlash). */
RTSTATUS rtDirNativeOpen(RTDIROBJ *pDir);
/** Closes the native handle; its status is of no interest to the caller. */
void     rtDirNativeClose(RTDIROBJ *pDir);
/** The simple upper-case mapping of a code point. */
RTUNICP  rtDirCpToUpper(RTUNICP uc);
