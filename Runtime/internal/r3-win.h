/* Platform handles, the version record and optional entry points that runtime
 * initialisation looks up for the Windows layer; each is null until then, and stays null
 * when the platform lacks it. Also the pieces of initialisation that tests drive directly. */
#pragma once
#include <windows.h>
#include "internal/init.h"

RT_C_DECLS_BEGIN

typedef VOID (WINAPI *PFNGETSYSTEMTIMEASFILETIME)(LPFILETIME);
typedef BOOL (WINAPI *PFNISDEBUGGERPRESENT)(VOID);
typedef BOOL (WINAPI *PFNISPROCESSORFEATUREPRESENT)(DWORD);
typedef VOID (WINAPI *PFNGETCURRENTTHREADSTACKLIMITS)(PULONG_PTR, PULONG_PTR);
typedef LPTOP_LEVEL_EXCEPTION_FILTER (WINAPI *PFNSETUNHANDLEDEXCEPTIONFILTER)(LPTOP_LEVEL_EXCEPTION_FILTER);
typedef LONG (WINAPI *PFNUNHANDLEDEXCEPTIONFILTER)(struct _EXCEPTION_POINTERS *);
typedef LONG (NTAPI *PFNRTNTQUERYFULLATTRIBUTESFILE)(PVOID pObjAttr, PVOID pInfo);
typedef int  (WINAPI *PFNWSAGETLASTERROR)(void);
typedef void (WINAPI *PFNWSASETLASTERROR)(int);

extern HMODULE g_hModKernel32;
extern HMODULE g_hModNtDll;
/** The version record as initialisation found it; always sized as the extended record. */
extern OSVERSIONINFOEXW g_WinOsInfoEx;

extern PFNGETSYSTEMTIMEASFILETIME     g_pfnGetSystemTimeAsFileTime;
extern PFNISDEBUGGERPRESENT           g_pfnIsDebuggerPresent;
extern PFNISPROCESSORFEATUREPRESENT   g_pfnIsProcessorFeaturePresent;
extern PFNGETCURRENTTHREADSTACKLIMITS g_pfnGetCurrentThreadStackLimits;
extern PFNSETUNHANDLEDEXCEPTIONFILTER g_pfnSetUnhandledExceptionFilter;
extern PFNUNHANDLEDEXCEPTIONFILTER    g_pfnUnhandledExceptionFilter;
extern PFNRTNTQUERYFULLATTRIBUTESFILE g_pfnNtQueryFullAttributesFile;
extern PFNWSAGETLASTERROR             g_pfnWSAGetLastError;
extern PFNWSASETLASTERROR             g_pfnWSASetLastError;

/** The top-level exception filter that was in place before the runtime installed its own;
 *  null when there was none or when it was the runtime's own. */
extern LPTOP_LEVEL_EXCEPTION_FILTER g_pfnXcptFilterPrev;
/** The runtime's top-level exception filter. */
LONG WINAPI rtR3WinUnhandledXcptFilter(PEXCEPTION_POINTERS pXcptPtrs);
/** Writes the unhandled-exception report to a logger; installed with the logger hooks. */
typedef void (*PFNRTXCPTREPORT)(struct RTLOGINSTANCE *pLogger, PEXCEPTION_POINTERS pXcptPtrs);
extern PFNRTXCPTREPORT g_pfnRTXcptReport;

/*
 * Operating-system version.
 */

typedef LONG    (NTAPI  *PFNRTLGETVERSION)(PRTL_OSVERSIONINFOW);
typedef BOOL    (WINAPI *PFNGETVERSIONEXW)(LPOSVERSIONINFOW);
typedef DWORD   (WINAPI *PFNGETVERSION)(VOID);
typedef BOOLEAN (NTAPI  *PFNRTLGETNTPRODUCTTYPE)(PULONG);

/** The version queries, tried in this order; any may be null (absent). */
struct RTR3WINVERQUERIES
{
    PFNRTLGETVERSION       pfnRtlGetVersion;
    PFNGETVERSIONEXW       pfnGetVersionExW;
    PFNGETVERSION          pfnGetVersion;
    PFNRTLGETNTPRODUCTTYPE pfnRtlGetNtProductType;
};

/** Fills @p pInfo from the first query that answers. */
void rtR3InitQueryWinVersion(const RTR3WINVERQUERIES *pQueries, OSVERSIONINFOEXW *pInfo);
/** The Windows version code for a version record; 0 for a combination no release has. */
RTWINVER rtR3InitWinVerCode(const OSVERSIONINFOEXW *pInfo);

RT_C_DECLS_END
