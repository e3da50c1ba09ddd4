/* Test support: gives a test program an executable path record, as start-up fills it in
 * the product, so that messages carry a known program name. */
#pragma once
#include <cstring>
#include "internal/startup.h"

/** Fills g_ProcExecPath with @p pszPath. Call it before the first message: the message
 *  writer keeps the name it found first. */
inline void SetTestExecPath(const char *pszPath)
{
    memset(&g_ProcExecPath, 0, sizeof(g_ProcExecPath));
    strcpy(g_ProcExecPath.szPath, pszPath);
    g_ProcExecPath.cchPath = static_cast<uint32_t>(strlen(pszPath));
    rtStartupSplitExecPath(g_ProcExecPath.szPath, g_ProcExecPath.cchPath, &g_ProcExecPath.cchDir,
                           &g_ProcExecPath.offName);
}
