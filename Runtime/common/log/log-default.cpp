/* The default instance, created on first use with the process's own file name, and the
 * assertion hooks that copy assertion reports into the existing instances. */
#include "internal/log.h"
#include "rt/assert.h"
#include "rt/atomic.h"
#include "rt/format.h"
#include "internal/startup.h"
#include "rt/time.h"

namespace {

/** The system's log groups: the default instance's group index names one of these. */
constexpr const char *g_apszLogGroups[] =
{
    "default", "rt", "rt_dir", "rt_env", "rt_file", "rt_ldr", "rt_path", "rt_string",
    "rt_thread", "rt_time", "installer", "rt_assert",
};
static_assert(RT_ELEMENTS(g_apszLogGroups) == RTLOG_REL_ASSERT_GROUP + 1,
              "release-log assertions print to the last group");

} /* namespace */

/** Set by the first call of RTLogDefaultGet: only that one attempts creation. */
static volatile uint32_t g_fLogDefaultAttempted;
/** Set while the default instance is created, so a concurrent attempt cannot start another. */
static volatile uint32_t g_fLogDefaultCreating;

size_t rtLogDefaultFileName(char *pszBuf, size_t cbBuf, int64_t i64NsSinceEpoch, const char *pszProgram,
                            uint32_t uPid)
{
    RTTIMESPEC Time = { i64NsSinceEpoch };
    RTTIMEPARTS Parts;
    RTTimeExplodeUtc(&Parts, &Time);
    return RTStrPrintBuf(pszBuf, cbBuf, "./%04d-%02d-%02d-%02d-%02d-%02d.%03d-%s-%d.log",
                         Parts.i32Year, Parts.u8Month, Parts.u8MonthDay, Parts.u8Hour, Parts.u8Minute,
                         Parts.u8Second, static_cast<int>(Parts.u32Nanosecond / 10000000), pszProgram,
                         static_cast<int>(uPid));
}

RTLOGINSTANCE *RTLogDefaultGet(void)
{
    if (RTAtomicXchgU32(&g_fLogDefaultAttempted, 1))
        return nullptr;
    if (!RTAtomicCmpXchgU32(&g_fLogDefaultCreating, 1, 0))
        return g_pLogDefault;

    const char *pszProgram = g_ProcExecPath.cchPath ? &g_ProcExecPath.szPath[g_ProcExecPath.offName] : "Nimb";
    uint32_t const uPid = rtLogNativeProcessId();
    RTTIMESPEC Now;
    RTTimeUtcNow(&Now);
    char szName[RTLOG_FILENAME_SIZE];
    rtLogDefaultFileName(szName, sizeof(szName), Now.i64NsSinceEpoch, pszProgram, uPid);

    RTLOGINSTANCE *pLogger = nullptr;
    RTSTATUS const rc = RTLogInstanceCreateF(&pLogger, 0, 0, nullptr, "NIMB_LOG", RT_ELEMENTS(g_apszLogGroups),
                                             g_apszLogGroups, RTLOGDEST_FILE, "%s", szName);
    if (RT_FAILURE(rc))
        return nullptr;

    uint32_t const uParent = rtLogNativeParentProcessId();
    char szTime[80];
    RTTimeFormatIso(&Now, szTime, sizeof(szTime));
    RTLogPrintEx(pLogger, 0, RTLOG_NO_GROUP,
                 "Log created: %s\nProcess ID:  %d (%#x)\nParent PID:  %d (%#x)\nExecutable:  %s\n",
                 szTime, uPid, uPid, uParent, uParent, g_ProcExecPath.szPath);
    RTLogPrintEx(pLogger, 0, RTLOG_NO_GROUP, "Commandline: %ls\n", rtLogNativeCommandLine());

    if (!RTAtomicCmpXchgPtr(&g_pLogDefault, pLogger, static_cast<RTLOGINSTANCE *>(nullptr)))
    {
        RTLogInstanceDestroy(pLogger);
        return g_pLogDefault;
    }
    return pLogger;
}


/*
 * Assertion hooks: each message goes to the release instance and then to the default
 * one, whichever exist, and is flushed at once. Neither creates an instance.
 */

static void rtLogAssertPrint(const char *pszFormat, va_list args)
{
    RTLOGINSTANCE *const apLoggers[] = { g_pLogRelease, g_pLogDefault };
    for (RTLOGINSTANCE *pLogger : apLoggers)
        if (pLogger)
        {
            va_list argsCopy;
            va_copy(argsCopy, args);
            RTLogPrintV(pLogger, 0, RTLOG_NO_GROUP, pszFormat, argsCopy);
            va_end(argsCopy);
            RTLogInstanceFlush(pLogger);
        }
}

static void rtLogAssertLocationHookV(const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    rtLogAssertPrint(pszFormat, args);
    va_end(args);
}

static void rtLogAssertLocationHook(const char *pszFormat, const char *pszExpr, const char *pszFile, int32_t iLine,
                                    const char *pszFunction)
{
    rtLogAssertLocationHookV(pszFormat, pszExpr, pszFile, iLine, pszFunction);
}

static void rtLogAssertDetailHook(const char *pszFormat, va_list args)
{
    rtLogAssertPrint(pszFormat, args);
}

/** Installs the hooks; runs among the static initialisers of any program that uses
 *  instances (this file is linked only then). */
static void rtLogInstallAssertHooks(void)
{
    g_pfnAssertLocationHook = rtLogAssertLocationHook;
    g_pfnAssertDetailHook = rtLogAssertDetailHook;
}
[[gnu::used, gnu::section(".CRT$XCU")]] static constexpr PFNRT s_pfnLogInstallAssertHooks = rtLogInstallAssertHooks;
