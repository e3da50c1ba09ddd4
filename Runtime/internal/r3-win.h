/* The Windows release, platform handles, the version record and optional entry points that
 * runtime initialisation looks up for the Windows layer; each handle and entry point is null
 * until then, and stays null when the platform lacks it. Also the pieces of initialisation
 * that tests drive directly. */
#pragma once
#include <windows.h>
#include "internal/init.h"
#include "rt/xcpt.h"

/** The Windows release, as runtime initialisation names it from the version record: the
 *  9x family from 1, the NT family from 100, each in release order; a workstation and the
 *  server of the same kernel version follow one another. */
enum RTWINVER : uint32_t
{
    RTWINVER_UNKNOWN   = 0,     /**< not yet known, or a combination no release has */
    RTWINVER_95        = 1,
    RTWINVER_95_SP1    = 2,
    RTWINVER_95_OSR2   = 3,
    RTWINVER_98        = 4,
    RTWINVER_98_SP1    = 5,
    RTWINVER_98_SE     = 6,
    RTWINVER_ME        = 7,
    RTWINVER_NT310     = 100,
    RTWINVER_NT350     = 101,
    RTWINVER_NT351     = 102,
    RTWINVER_NT4       = 103,
    RTWINVER_2K        = 104,
    RTWINVER_XP        = 105,
    RTWINVER_2003      = 107,
    RTWINVER_VISTA     = 108,
    RTWINVER_2008      = 109,
    RTWINVER_7         = 110,
    RTWINVER_2008_R2   = 111,
    RTWINVER_8         = 112,
    RTWINVER_2012      = 113,
    RTWINVER_81        = 114,
    RTWINVER_2012_R2   = 115,
    RTWINVER_10        = 116,
    RTWINVER_2016      = 117,
    RTWINVER_2019      = 118,
    RTWINVER_2022      = 119,
    RTWINVER_11        = 120,
    RTWINVER_2025      = 121,
    RTWINVER_NT_NEWER  = 199,   /**< an NT-family version this table does not name */
};

RT_C_DECLS_BEGIN

/** The running Windows release; RTWINVER_UNKNOWN until runtime initialisation has run. */
extern RTWINVER g_enmWinVer;

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
/** The logger hooks the report asks, first and second; set through RTXcptSetLoggerHooks. */
extern PFNRTXCPTLOGGER g_pfnXcptLoggerFirst;
extern PFNRTXCPTLOGGER g_pfnXcptLoggerSecond;

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
