/* Environment variables on Windows: GetEnvironmentVariableW with a stack buffer that is
 * replaced by a heap buffer for long values, converted to UTF-8. */
#include <windows.h>
#include "rt/env.h"
#include "rt/atomic.h"
#include "rt/err.h"
#include "rt/mem.h"
#include "rt/string.h"
#include "internal/r3-win.h"

namespace {

constexpr uint32_t RTENV_STACK_UNITS = 512;
/** Environment values are at most 32767 units; a buffer grown past that and still too
 *  small means the platform keeps changing its answer. */
constexpr uint32_t RTENV_MAX_UNITS = 32767;

char    *g_apszValueRing[RTENV_VALUE_RING_SIZE];
uint32_t g_iValueRing;

/** NT 3.x returns 0 without an error for a missing variable too. */
bool rtEnvIsNt3x(void)
{
    if (g_enmWinVer != RTWINVER_UNKNOWN)
        return g_enmWinVer >= RTWINVER_NT310 && g_enmWinVer <= RTWINVER_NT351;
    /* GetVersion: the major version in the low byte, the top bit set on the 9x family. */
    constexpr DWORD RTENV_VERSION_NOT_NT = UINT32_C(0x80000000);
    DWORD const dwVersion = GetVersion();
    return !(dwVersion & RTENV_VERSION_NOT_NT) && LOBYTE(LOWORD(dwVersion)) == 3;
}

/** A value read from the platform: the units and where they live. */
struct RTENVVALUE
{
    RTUTF16  awcStack[RTENV_STACK_UNITS];
    RTUTF16 *pwszHeap;
    RTUTF16 *pwsz;
    uint32_t cwc;

    RTENVVALUE() : pwszHeap(nullptr), pwsz(awcStack), cwc(0) {}
    ~RTENVVALUE() { RTMemFree(pwszHeap); }
};

/** Reads @p pszVar into @p pValue. On failure, a missing variable or another platform
 *  failure comes back converted from the last error. */
RTSTATUS rtEnvRead(const char *pszVar, RTENVVALUE *pValue)
{
    RTUTF16 *pwszVar;
    RTSTATUS rc = RTStrToUtf16(pszVar, &pwszVar);
    if (RT_FAILURE(rc))
        return rc;

    /* The reported size counts the terminator when the value does not fit. */
    uint32_t cwcBuf = RTENV_STACK_UNITS;
    uint32_t cwc;
    for (uint32_t cEnlargements = 0;; cEnlargements++)
    {
        SetLastError(NO_ERROR);
        cwc = GetEnvironmentVariableW(pwszVar, pValue->pwsz, cwcBuf);
        if (cwc < cwcBuf)
            break;
        if (cwcBuf > RTENV_MAX_UNITS)
        {
            rc = ERR_INTERNAL_FAULT_3;
            break;
        }
        uint32_t const cwcNew = cwc + cEnlargements > RTENV_STACK_UNITS * cEnlargements
                              ? cwc + cEnlargements : RTENV_STACK_UNITS * cEnlargements;
        RTUTF16 *pwszNew = static_cast<RTUTF16 *>(RTMemRealloc(pValue->pwszHeap, cwcNew * sizeof(RTUTF16)));
        if (!pwszNew)
        {
            rc = ERR_SCRATCH_ALLOC_FAILED;
            break;
        }
        pValue->pwszHeap = pValue->pwsz = pwszNew;
        cwcBuf = cwcNew;
    }

    if (RT_SUCCESS(rc))
    {
        bool fExists = cwc != 0 || GetLastError() == NO_ERROR;
        if (fExists && cwc == 0 && rtEnvIsNt3x())
            fExists = GetEnvironmentVariableW(pwszVar, nullptr, 0) != 0;
        if (fExists)
        {
            pValue->pwsz[cwc] = L'\0';
            pValue->cwc = cwc;
            rc = INF_SUCCESS;
        }
        else
        {
            DWORD const dwErr = GetLastError();
            rc = RTErrConvertFromWinError(dwErr != NO_ERROR ? dwErr : ERROR_ENVVAR_NOT_FOUND);
        }
    }
    RTUtf16Release(pwszVar);
    return rc;
}

bool rtEnvIsNameValid(const char *pszVar)
{
    for (const char *pch = pszVar; *pch; pch++)
        if (*pch == '=')
            return false;
    return true;
}

} /* namespace */

RTSTATUS RTEnvQueryIn(RTENV hEnv, const char *pszVar, char *pszValue, size_t cbValue, size_t *pcchActual)
{
    if (!RT_VALID_PTR(pszVar) || (pszValue && !RT_VALID_PTR(pszValue)) || (pcchActual && !RT_VALID_PTR(pcchActual)))
        return ERR_BAD_POINTER;
    if (!pszValue && cbValue)
        return ERR_BAD_ARGUMENT;
    if (!pcchActual && (!pszValue || !cbValue))
        return ERR_BAD_ARGUMENT;
    if (pcchActual)
        *pcchActual = 0;
    if (!rtEnvIsNameValid(pszVar))
        return ERR_ENV_BAD_NAME;
    if (hEnv != RTENV_PROCESS)
        return ERR_BAD_HANDLE;

    RTENVVALUE Value;
    RTSTATUS rc = rtEnvRead(pszVar, &Value);
    if (RT_FAILURE(rc))
        return rc;
    if (pszValue)
        return RTUtf16ToUtf8Ex(Value.pwsz, Value.cwc, &pszValue, cbValue, pcchActual);
    return RTUtf16MeasureUtf8(Value.pwsz, Value.cwc, pcchActual);
}

RTSTATUS RTEnvQuery(const char *pszVar, char *pszValue, size_t cbValue, size_t *pcchActual)
{
    return RTEnvQueryIn(RTENV_PROCESS, pszVar, pszValue, cbValue, pcchActual);
}

const char *RTEnvValue(const char *pszVar)
{
    if (!RT_VALID_PTR(pszVar) || !rtEnvIsNameValid(pszVar))
        return nullptr;
    RTENVVALUE Value;
    if (RT_FAILURE(rtEnvRead(pszVar, &Value)))
        return nullptr;
    char *pszResult = nullptr;
    if (RT_FAILURE(RTUtf16ToUtf8Ex(Value.pwsz, Value.cwc, &pszResult, 0, nullptr)))
        return nullptr;

    /* Each result takes the next slot; whatever held it was returned 64 calls ago. */
    uint32_t const iSlot = RTAtomicIncU32(&g_iValueRing) % RTENV_VALUE_RING_SIZE;
    RTStrRelease(RTAtomicXchgPtr(&g_apszValueRing[iSlot], pszResult));
    return pszResult;
}
