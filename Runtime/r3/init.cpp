/* Runtime initialisation: the executable's path, the argument vector and the exit
 * callback around the platform's own set-up (r3/win/init-win.cpp). Only the first
 * successful call does the work. */
#include "internal/init.h"
#include "internal/log.h"
#include "internal/startup.h"
#include "internal/thread.h"
#include "rt/atomic.h"
#include "rt/log.h"
#include "rt/path.h"
#include "internal/time.h"

volatile int32_t  g_cRTR3Inits = 0;
volatile uint32_t g_fRTR3Initialising = 0;
uint32_t          g_fRTR3InitFlags = 0;
int32_t           g_cRTR3InitArgs = -1;
char            **g_papszRTR3InitArgs = nullptr;
uint32_t          g_uRTR3ProcessId = 0;
static volatile uint32_t g_fRTR3Terminating = 0;

namespace {

/* Flag bit that later calls add to the stored flags; the others stick from the first. */
constexpr uint32_t RTR3INIT_F_MERGED_LATER = 0x2;

} /* namespace */

/** Reports a failed step to the release logger, when one is enabled. */
static void rtR3InitLogRelFailure(int iLine, const char *pszFunction, const char *pszDetailFormat, RTSTATUS rc)
{
    rtLogRelAssert(__FILE__, iLine, pszFunction, "RT_SUCCESS_NP(rc)", pszDetailFormat, rc);
}

static void rtR3ExitCallback(void)
{
    RTAtomicXchgU32(&g_fRTR3Terminating, 1);
    if (RTAtomicReadS32(&g_cRTR3Inits) > 0)
    {
        if (g_pLogDefault)
            RTLogInstanceFlush(g_pLogDefault);
        if (g_pLogRelease)
            RTLogInstanceFlush(g_pLogRelease);
    }
}

/** Stores a path of @p cchPath bytes (below RTR3INIT_PATH_MAX) in the executable path
 *  record, with its split. */
static void rtR3InitSetExecPath(const char *pszPath, size_t cchPath)
{
    RTPROCEXECPATH &Rec = g_ProcExecPath;
    for (size_t off = 0; off < cchPath; off++)
        Rec.szPath[off] = pszPath[off];
    Rec.szPath[cchPath] = '\0';

    size_t cchDir = 0;
    intptr_t offName = -1;
    RTPathSplitSimple(Rec.szPath, &cchDir, &offName, nullptr);
    Rec.cchPath = static_cast<uint32_t>(cchPath);
    Rec.cchDir  = static_cast<uint32_t>(cchDir);
    /* A path that names no file gets an empty name at its end rather than an offset that
     * points nowhere. */
    Rec.offName = offName >= 0 ? static_cast<uint32_t>(offName) : static_cast<uint32_t>(cchPath);
}

static RTSTATUS rtR3InitProgramPath(const char *pszProgramPath)
{
    size_t const cch = __builtin_strlen(pszProgramPath);
    if (cch >= RTR3INIT_PATH_MAX)
        return ERR_BUFFER_TOO_SMALL;
    rtR3InitSetExecPath(pszProgramPath, cch);
    return INF_SUCCESS;
}

/** Records the first non-empty argument vector; a later one must be the same vector with
 *  the same count. The vector is kept as the caller's, not copied. */
static RTSTATUS rtR3InitRecordArgs(int cArgs, char ***ppapszArgs)
{
    if (cArgs == 0)
        return INF_SUCCESS;
    if (g_cRTR3InitArgs == -1)
    {
        g_cRTR3InitArgs = cArgs;
        g_papszRTR3InitArgs = *ppapszArgs;
        return INF_SUCCESS;
    }
    if (g_cRTR3InitArgs != cArgs || g_papszRTR3InitArgs != *ppapszArgs)
        return ERR_WRONG_STATE;
    return INF_SUCCESS;
}

static RTSTATUS rtR3InitBody(uint32_t fFlags, int cArgs, char ***ppapszArgs, const char *pszProgramPath)
{
    RTSTATUS rc = rtR3InitPlatform(fFlags);
    if (RT_FAILURE(rc))
        return rc;

    g_fRTR3InitFlags |= fFlags;

    rc = rtThreadRegistryInit();
    if (RT_FAILURE(rc))
        return rc;

    if (pszProgramPath)
    {
        rc = rtR3InitProgramPath(pszProgramPath);
        if (RT_FAILURE(rc))
            return rc;
    }
    else
    {
        /* Converted aside so that a failure leaves start-up's record as it was. */
        char szPath[RTR3INIT_PATH_MAX];
        rc = rtProcInitExePath(szPath, sizeof(szPath));
        if (RT_FAILURE(rc))
        {
            rtR3InitLogRelFailure(__LINE__, __PRETTY_FUNCTION__, "Failed to get executable directory path, rc=%Rrc!\n", rc);
            return rc;
        }
        rtR3InitSetExecPath(szPath, __builtin_strlen(szPath));
    }

    rc = rtR3InitRecordArgs(cArgs, ppapszArgs);
    if (RT_FAILURE(rc))
    {
        rtR3InitLogRelFailure(__LINE__, __PRETTY_FUNCTION__, "Failed to convert the arguments, rc=%Rrc!\n", rc);
        return rc;
    }

    g_u64RTTimeProgramStartNs = RTTimeMonoNs();
    rtAtExitRegister(rtR3ExitCallback);
    return INF_SUCCESS;
}

/** A call after the first: merges the flags, performs a deferred loader configuration and
 *  checks the arguments against the recorded ones. */
static RTSTATUS rtR3InitAgain(uint32_t fFlags, int cArgs, char ***ppapszArgs, const char *pszProgramPath)
{
    g_fRTR3InitFlags |= fFlags & RTR3INIT_F_MERGED_LATER;
    if (!(fFlags & RTINIT_F_DEFER_LOADER_CONFIG) && (g_fRTR3InitFlags & RTINIT_F_DEFER_LOADER_CONFIG))
    {
        g_fRTR3InitFlags &= ~RTINIT_F_DEFER_LOADER_CONFIG;
        g_fRTR3InitFlags |= fFlags & RTINIT_F_SYSTEM32_ONLY;
        /* The caller asked for the hardening now; it must learn when it did not happen. */
        RTSTATUS const rc = rtR3InitLoaderConfig(g_fRTR3InitFlags);
        if (RT_FAILURE(rc))
            return rc;
    }

    if (pszProgramPath)
    {
        RTSTATUS const rc = rtR3InitProgramPath(pszProgramPath);
        if (RT_FAILURE(rc))
            return rc;
    }

    return rtR3InitRecordArgs(cArgs, ppapszArgs);
}

RTSTATUS rtR3InitOnce(uint32_t fFlags, int cArgs, char ***ppapszArgs, const char *pszProgramPath)
{
    /* Refused before anything is counted or recorded. */
    if (cArgs < 0)
        return ERR_BAD_ARGUMENT;
    if (cArgs != 0 && (!RT_VALID_PTR(ppapszArgs) || !RT_VALID_PTR(*ppapszArgs)))
        return ERR_BAD_POINTER;
    if (pszProgramPath && !RT_VALID_PTR(pszProgramPath))
        return ERR_BAD_POINTER;

    if (RTAtomicIncS32(&g_cRTR3Inits) != 1)
        return rtR3InitAgain(fFlags, cArgs, ppapszArgs, pszProgramPath);

    RTAtomicXchgU32(&g_fRTR3Initialising, 1);
    RTSTATUS const rc = rtR3InitBody(fFlags, cArgs, ppapszArgs, pszProgramPath);
    RTAtomicXchgU32(&g_fRTR3Initialising, 0);
    if (RT_FAILURE(rc))
    {
        RTAtomicDecS32(&g_cRTR3Inits);
        return rc;
    }
    return INF_SUCCESS;
}

RTSTATUS RTR3InitForExe(int cArgs, char ***ppapszArgs, uint32_t fFlags)
{
    return rtR3InitOnce(fFlags, cArgs, ppapszArgs, nullptr);
}

bool RTR3InitIsInitialized(void)
{
    return RTAtomicReadS32(&g_cRTR3Inits) > 0 && !RTAtomicReadU32(&g_fRTR3Initialising);
}

bool RTR3InitIsTerminating(void)
{
    return RTAtomicReadU32(&g_fRTR3Terminating) != 0;
}
