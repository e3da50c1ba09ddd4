/* Whether a path names a plain file: not a directory, device or reparse point. */
#include "rt/path.h"
#include "rt/file.h"

bool RTPathIsRegularFile(const char *pszPath)
{
    RTFILESTATS Stats;
    if (RT_FAILURE(RTPathQueryStats(pszPath, &Stats, RTFATTR_NONE, RTPATHQ_FOLLOW_LINK)))
        return false;
    return (Stats.fMode & RTFS_TYPE_MASK) == RTFS_TYPE_FILE
        && !(Stats.fMode & (RTFS_DOS_REPARSE_POINT | RTFS_DOS_DEVICE));
}
