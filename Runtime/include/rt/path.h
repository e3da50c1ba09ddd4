/* Paths as UTF-8 text: styles, the parsed-path record, parsing and rebuilding, absolute
 * paths, appending and joining, suffix and file-name lookup, the current directory and
 * drive, the executable's directory, and the path operations that go through the
 * platform (setting the current directory, moving). Portable: no platform headers. */
#pragma once
#include "rt/types.h"
#include "rt/status.h"

/* Path styles: the low two bits of every style or flag argument. Both separators are
 * recognised in DOS style, only '/' in Unix style; the host style is DOS here. */
inline constexpr uint32_t RTPSTYLE_HOST = 0;
inline constexpr uint32_t RTPSTYLE_DOS  = 1;
inline constexpr uint32_t RTPSTYLE_UNIX = 2;
inline constexpr uint32_t RTPSTYLE_MASK = 3;

/* Property bits of a parsed path. */
inline constexpr uint16_t RTPPROP_FILENAME      = 0x0001; /* ends in a component */
inline constexpr uint16_t RTPPROP_DIR_SLASH     = 0x0002; /* ends with separators; rebuilt with one */
inline constexpr uint16_t RTPPROP_SUFFIX        = 0x0004; /* the last component has a suffix */
inline constexpr uint16_t RTPPROP_UNC           = 0x0010; /* starts with two separators (DOS) */
inline constexpr uint16_t RTPPROP_ROOT_SLASH    = 0x0020; /* the root ends with a separator */
inline constexpr uint16_t RTPPROP_VOLUME        = 0x0040; /* starts with a drive letter and colon */
inline constexpr uint16_t RTPPROP_ABSOLUTE      = 0x0100; /* fully rooted, no ".." */
inline constexpr uint16_t RTPPROP_RELATIVE      = 0x0200; /* anything else */
inline constexpr uint16_t RTPPROP_EXTRA_SLASHES = 0x0400; /* a run of two or more separators */
inline constexpr uint16_t RTPPROP_DOT           = 0x0800; /* a "." component */
inline constexpr uint16_t RTPPROP_DOTDOT        = 0x1000; /* a ".." component */
inline constexpr uint16_t RTPPROP_SPECIAL_UNC   = 0x2000; /* UNC server "." or "?" */

/* The properties that say the path has a root (component 0 is then the root text). */
inline constexpr uint16_t RTPPROP_HAS_ROOT = RTPPROP_UNC | RTPPROP_ROOT_SLASH | RTPPROP_VOLUME;

/* RTPathAbsEx flags, beside the style in bits 0-1. */
inline constexpr uint32_t RTABS_KEEP_BASE      = 0x10000; /* ".." never eats the given base */
inline constexpr uint32_t RTABS_KEEP_CWD       = 0x20000; /* nor the current directory as base */
inline constexpr uint32_t RTABS_TRAILING_SLASH = 0x40000; /* end with a separator past the root */
inline constexpr uint32_t RTABS_VALID_MASK     = RTPSTYLE_MASK | RTABS_KEEP_BASE | RTABS_KEEP_CWD
                                               | RTABS_TRAILING_SLASH;

/** One component of a parsed path: its position in the source text. A length of 0 makes
 *  the rebuild skip it. */
struct RTPATHCOMP
{
    uint16_t off;
    uint16_t cch;
};

/** A parsed path, laid over caller memory of a given size: a 12-byte header and as many
 *  components as the memory holds. */
struct RTPATHCOMPS
{
    uint16_t   cComps;      /**< number of components, the root included */
    uint16_t   fProps;      /**< RTPPROP_ bits */
    uint16_t   cchPath;     /**< length of the rebuilt path, without terminator */
    uint16_t   u16Reserved;
    uint16_t   offSuffix;   /**< offset of the suffix's dot, or the end of the path */
    uint16_t   cchSuffix;   /**< suffix length including the dot, 0 when none */
    RTPATHCOMP aComps[]; /**< as many as the record's memory holds */
};
static_assert(offsetof(RTPATHCOMPS, aComps) == 12, "the record header is 12 bytes");
static_assert(sizeof(RTPATHCOMP) == 4, "a component takes 4 bytes");

/** Record size for @a cComps components. */
inline constexpr size_t RTPATHCOMPS_SIZE(size_t cComps) { return 12 + cComps * 4; }
/** The largest component count a record may claim. */
inline constexpr size_t RTPATHCOMPS_MAX = 65520;

/* RTFileMoveTo flags. */
inline constexpr uint32_t RTFILEMOVE_F_REPLACE = 1;

/** Offsets in a path beyond this are ERR_FILENAME_TOO_LONG. */
inline constexpr size_t RTPATH_MAX_OFFSET = 65535;

RT_C_DECLS_BEGIN

/* Parsing and rebuilding. */
RTSTATUS RTPathParseComps(const char *pszPath, RTPATHCOMPS *pComps, size_t cbComps, uint32_t fStyle);
RTSTATUS RTPathBuildFromComps(const char *pszSrc, RTPATHCOMPS *pComps, uint32_t fStyle,
                              char *pszDst, size_t cbDst);

/* Absolute paths. *pcbAbsPath is the buffer size on entry; on success the result's length,
 * on ERR_BUFFER_TOO_SMALL the size needed (terminator included). */
RTSTATUS RTPathAbsEx(const char *pszBase, const char *pszPath, uint32_t fFlags,
                     char *pszAbsPath, size_t *pcbAbsPath);
RTSTATUS RTPathAbsolute(const char *pszPath, char *pszAbsPath, size_t cbAbsPath);
/** A new string (release with RTStrRelease), or null on any failure. */
char    *RTPathAbsExDup(const char *pszBase, const char *pszPath, uint32_t fFlags);

/* Appending and joining. */
RTSTATUS RTPathAppendStr(char *pszPath, size_t cbPath, const char *pszAppend);
RTSTATUS RTPathAppendStrEx(char *pszPath, size_t cbPath, const char *pszAppend, size_t cchAppendMax,
                           uint32_t fStyle);
RTSTATUS RTPathJoinInto(char *pszDst, size_t cbDst, const char *pszFirst, const char *pszSecond);
/** A new string (release with RTStrRelease), or null. */
char    *RTPathJoinA(const char *pszFirst, const char *pszSecond);

/* Text lookups and edits. */
/** Splits @p pszPath into its directory part and file name, without touching the file
 *  system.
 *  @param pcchDir    length of the directory part: without trailing separators, but never
 *                    shorter than the root with its separators; the whole length when the
 *                    path names no file
 *  @param poffName   offset of the file name, -1 when nothing follows the last separator
 *  @param poffSuffix offset of the last "." in the file name, -1 when there is none, when
 *                    it is the name's first character or when nothing follows it
 *  @returns the length of @p pszPath. */
size_t RTPathSplitSimple(const char *pszPath, size_t *pcchDir, intptr_t *poffName, intptr_t *poffSuffix);
/** Length of the root: drive with its colon, \\server\share, or a leading separator,
 *  each with the separators that follow; 0 for a relative path. */
size_t   RTPathRootLen(const char *pszPath);
bool     RTPathStartsWithRoot(const char *pszPath);
/** True when @p pszPath names a regular file (links followed), not a device or reparse point. */
bool     RTPathIsRegularFile(const char *pszPath);
char    *RTPathSuffix(const char *pszPath);
char    *RTPathFileName(const char *pszPath);
char    *RTPathToBackslashes(char *pszPath);
/** The new length, or 0 when the separator does not fit. */
size_t   RTPathEnsureTrailingSlash(char *pszPath, size_t cbPath);

/* Queries of the process's state. */
RTSTATUS RTPathGetCurrentDir(char *pszPath, size_t cbPath);
RTSTATUS RTPathGetDriveCurrentDir(char chDrive, char *pszPath, size_t cbPath);
RTSTATUS RTPathGetCurrentDrive(char *pszPath, size_t cbPath);
RTSTATUS RTPathExeDir(char *pszPath, size_t cbPath);
/** The temporary directory: the first of ZUNT_TMPDIR, TMP, TEMP and USERPROFILE that is
 *  set and not empty, made absolute; "/tmp" when none is. */
RTSTATUS RTPathTempDir(char *pszPath, size_t cbPath);

/* Operations through the platform's path form. */
RTSTATUS RTPathSetCurrentDir(const char *pszPath);
/** Moves a file or directory; @a fMove are the platform's move flags; @a fRequiredType, when
 *  not 0, is the file type (RTFS_TYPE_* of rt/fsmode.h) the source must have. */
RTSTATUS RTPathMove(const char *pszSrc, const char *pszDst, uint32_t fMove, uint32_t fRequiredType);
/** Moves a regular file; RTFILEMOVE_F_REPLACE replaces an existing destination. */
RTSTATUS RTFileMoveTo(const char *pszSrc, const char *pszDst, uint32_t fMove);

RT_C_DECLS_END
