/* The calling thread on Windows: its native id, its record's thread-local slot, the name
 * passed to debuggers and to the platform, sleep and yield. */
#include <windows.h>
#include <intrin.h>
#include "internal/r3-win.h"
#include "internal/thread.h"

uint32_t g_iRTThreadTls = TLS_OUT_OF_INDEXES;

typedef HRESULT (WINAPI *PFNSETTHREADDESCRIPTION)(HANDLE, PCWSTR);
static PFNSETTHREADDESCRIPTION g_pfnSetThreadDescription = nullptr;

namespace {

/** The exception through which debuggers learn a thread's name, and its argument record. */
constexpr DWORD RTTHREAD_XCPT_SET_THREAD_NAME = 0x406D1388;
/** The record's type word that says "set a thread's name". */
constexpr DWORD RTTHREAD_NAME_INFO_TYPE = 0x1000;

} /* namespace */

struct RTTHREADNAMEINFO
{
    ULONG_PTR uType;        /**< 0x1000 */
    ULONG_PTR uNameAddr;
    ULONG_PTR idThread;
    ULONG_PTR fFlags;
};

uint32_t RTThreadNativeSelf(void)
{
    return GetCurrentThreadId();
}

RTTHREADINT *RTThreadCurrentRecord(void)
{
    uint32_t const iTls = g_iRTThreadTls;
    if (iTls == TLS_OUT_OF_INDEXES)
        return nullptr;
    return static_cast<RTTHREADINT *>(TlsGetValue(iTls));
}

RTSTATUS rtThreadNativeInit(void)
{
    /* The slot outlives a failed registry set-up, so a retry does not take another. */
    if (g_iRTThreadTls == TLS_OUT_OF_INDEXES)
    {
        DWORD const iTls = TlsAlloc();
        if (iTls == TLS_OUT_OF_INDEXES)
            return ERR_TLS_SLOT_UNAVAILABLE;
        g_iRTThreadTls = iTls;
    }
    HMODULE const hModKernel32 = g_hModKernel32 ? g_hModKernel32 : GetModuleHandleW(L"kernel32.dll");
    if (hModKernel32)
        g_pfnSetThreadDescription = reinterpret_cast<PFNSETTHREADDESCRIPTION>(
            reinterpret_cast<void *>(GetProcAddress(hModKernel32, "SetThreadDescription")));
    return INF_SUCCESS;
}

/** Resumes after the naming exception when no debugger took it. */
static LONG WINAPI rtThreadNameXcptHandler(PEXCEPTION_POINTERS pXcptPtrs)
{
    if (pXcptPtrs->ExceptionRecord->ExceptionCode == RTTHREAD_XCPT_SET_THREAD_NAME)
        return EXCEPTION_CONTINUE_EXECUTION;
    return EXCEPTION_CONTINUE_SEARCH;
}

RTSTATUS rtThreadNativeAdopt(RTTHREADINT *pThread)
{
    if (!TlsSetValue(g_iRTThreadTls, pThread))
        return ERR_TLS_SET_FAILED;

    /* Naming is a courtesy to debuggers and tools; its failures are ignored. A debugger
     * sees the exception first; the handler resumes when it lets it pass. */
    if (g_pfnIsDebuggerPresent && g_pfnIsDebuggerPresent())
    {
        PVOID const pvHandler = AddVectoredExceptionHandler(1, rtThreadNameXcptHandler);
        if (pvHandler)
        {
            RTTHREADNAMEINFO Info = { RTTHREAD_NAME_INFO_TYPE, reinterpret_cast<ULONG_PTR>(pThread->szName), GetCurrentThreadId(), 0 };
            RaiseException(RTTHREAD_XCPT_SET_THREAD_NAME, 0, sizeof(Info) / sizeof(ULONG_PTR),
                           reinterpret_cast<const ULONG_PTR *>(&Info));
            RemoveVectoredExceptionHandler(pvHandler);
        }
    }
    if (g_pfnSetThreadDescription)
    {
        /* Byte by byte, each taken as signed: the name is short and mostly ASCII. */
        WCHAR wszName[sizeof(pThread->szName)];
        for (size_t i = 0; i < sizeof(pThread->szName); i++)
            wszName[i] = static_cast<WCHAR>(static_cast<signed char>(pThread->szName[i]));
        g_pfnSetThreadDescription(GetCurrentThread(), wszName);
    }
    return INF_SUCCESS;
}

void rtThreadNativeDestroy(RTTHREADINT *pThread)
{
    uint32_t const iTls = g_iRTThreadTls;
    if (iTls != TLS_OUT_OF_INDEXES && TlsGetValue(iTls) == pThread)
        TlsSetValue(iTls, nullptr);
    if (pThread->hNative)
    {
        CloseHandle(pThread->hNative);
        pThread->hNative = nullptr;
    }
}

RTSTATUS RTThreadSleepMs(uint32_t cMs)
{
    Sleep(cMs);
    return INF_SUCCESS;
}

bool RTThreadYieldNow(void)
{
    /* Sleep(0) returns at once when nothing else is ready to run; the time-stamp counter
     * tells the two cases apart. */
    uint64_t const uStart = __rdtsc();
    Sleep(0);
    return __rdtsc() - uStart > 1500;
}
