/* The rebuild and parse helpers the absolute-path code shares with RTPathBuildFromComps. */
#pragma once
#include "rt/path.h"

/** Rebuilds @a pComps into @a pszDst (which may be the source's own storage). Sets *pcch to
 *  the full length even when it does not fit; then writes an empty string (if cbDst). */
RTSTATUS rtPathBuild(const char *pszSrc, const RTPATHCOMPS *pComps, uint32_t fStyle,
                     char *pszDst, size_t cbDst, size_t *pcch);
