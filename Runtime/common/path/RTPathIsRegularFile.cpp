/* Whether a path names a plain file: not a directory, device or reparse point. */
#include "internal/path.h"
#include "rt/file.h"

/* Out of line: the information record it fills needs an 8-byte aligned frame, which only
   this function then sets up, not each of its callers. */
[[gnu::noinline]] uint32_t rtPathQueryFollowedMode(const char *pszPath)
{
    RTFILESTATS Stats;
    if (RT_FAILURE(RTPathQueryStats(pszPath, &Stats, RTFATTR_NONE, RTPATHQ_FOLLOW_LINK)))
        return 0;
    return Stats.fMode;
}

bool RTPathIsRegularFile(const char *pszPath)
{
    uint32_t const fMode = rtPathQueryFollowedMode(pszPath);
    return (fMode & RTFS_TYPE_MASK) == RTFS_TYPE_FILE
        && !(fMode & (RTFS_DOS_REPARSE_POINT | RTFS_DOS_DEVICE));
}
