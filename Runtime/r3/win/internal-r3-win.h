/* Platform handles and optional entry points that runtime initialisation looks up for the
 * Windows layer; each is null until then, and stays null when the platform lacks it. */
#pragma once
#include <windows.h>
#include "rt/init.h"

RT_C_DECLS_BEGIN

typedef VOID (WINAPI *PFNGETSYSTEMTIMEASFILETIME)(LPFILETIME);

extern HMODULE g_hModNtDll;
extern PFNGETSYSTEMTIMEASFILETIME g_pfnGetSystemTimeAsFileTime;

RT_C_DECLS_END
