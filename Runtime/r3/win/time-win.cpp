/* The platform's clocks: the monotonic nanosecond clock with its choice of source, and the
 * UTC wall clock. */
#include "internal/time.h"
#include "rt/atomic.h"
#include "internal/r3-win.h"

volatile uint32_t g_enmRTTimeMonoSource = RTTIMEMONOSRC_UNSET;

/** Returns the interrupt time in 100-nanosecond units and the performance counter. */
typedef ULONGLONG (NTAPI *PFNRTLGETINTERRUPTTIMEPRECISE)(PULONGLONG pu64Counter);
static PFNRTLGETINTERRUPTTIMEPRECISE volatile g_pfnRtlGetInterruptTimePrecise = nullptr;
static volatile bool g_fRtlGetInterruptTimePreciseLookedUp = false;

namespace {

/** Offset between the file-time origin (1601) and 1970, in nanoseconds. */
constexpr uint64_t RTTIME_FILE_TIME_EPOCH_DELTA_NS = UINT64_C(11644473600000000000);

/* The interrupt time lives at a fixed address of the page the kernel shares with every
 * process: a low word and two copies of the high word. The kernel updates them so that a
 * read torn by an update shows as two differing high words. */
constexpr uintptr_t RTTIME_USER_SHARED_DATA    = 0x7FFE0000;
constexpr uintptr_t RTTIME_INTERRUPT_TIME_OFFSET = 0x8;     /* low, high, second high */

} /* namespace */

/** One word of the interrupt time: 0 the low word, 1 the high word, 2 its second copy. The
 *  address is a constant, so it is formed where it is read rather than kept in a variable
 *  that would need start-up initialisation. */
static inline uint32_t rtTimeSharedPageWord(unsigned iWord)
{
    return reinterpret_cast<volatile uint32_t *>(RTTIME_USER_SHARED_DATA + RTTIME_INTERRUPT_TIME_OFFSET)[iWord];
}

static PFNRTLGETINTERRUPTTIMEPRECISE rtTimeLookupPrecise(void)
{
    PFNRTLGETINTERRUPTTIMEPRECISE pfn = g_pfnRtlGetInterruptTimePrecise;
    if (!pfn && !g_fRtlGetInterruptTimePreciseLookedUp)
    {
        HMODULE hMod = g_hModNtDll ? g_hModNtDll : GetModuleHandleW(L"ntdll");
        if (hMod)
            pfn = reinterpret_cast<PFNRTLGETINTERRUPTTIMEPRECISE>(
                reinterpret_cast<void *>(GetProcAddress(hMod, "RtlGetInterruptTimePrecise")));
        g_pfnRtlGetInterruptTimePrecise = pfn;
        g_fRtlGetInterruptTimePreciseLookedUp = true;
    }
    return pfn;
}

static uint32_t rtTimeChooseSource(void)
{
    bool fTickCount;
    if (g_enmWinVer != RTWINVER_UNKNOWN)
        fTickCount = g_enmWinVer <= RTWINVER_NT310;
    else
    {
        /* NT 3.1 (3.10) and the 9x family's predecessors lack a usable interrupt time. */
        DWORD const dwVersion = GetVersion();
        fTickCount = LOBYTE(LOWORD(dwVersion)) == 3 && HIBYTE(LOWORD(dwVersion)) < 50;
    }
    uint32_t enmSource = RTTIMEMONOSRC_TICK_COUNT;
    if (!fTickCount)
        enmSource = rtTimeLookupPrecise() ? RTTIMEMONOSRC_PRECISE : RTTIMEMONOSRC_SHARED_PAGE;
    RTAtomicCmpXchgU32(&g_enmRTTimeMonoSource, enmSource, RTTIMEMONOSRC_UNSET);
    return RTAtomicReadU32(&g_enmRTTimeMonoSource);
}

static uint64_t rtTimeSharedPageInterruptTime(void)
{
    uint32_t u32High, u32Low;
    do
    {
        u32High = rtTimeSharedPageWord(1);
        u32Low  = rtTimeSharedPageWord(0);
    } while (u32High != rtTimeSharedPageWord(2));
    return (static_cast<uint64_t>(u32High) << 32) | u32Low;
}

uint64_t RTTimeMonoNs(void)
{
    uint32_t enmSource = g_enmRTTimeMonoSource;
    if (enmSource == RTTIMEMONOSRC_UNSET)
        enmSource = rtTimeChooseSource();
    switch (enmSource)
    {
        case RTTIMEMONOSRC_TICK_COUNT:
            return static_cast<uint64_t>(GetTickCount()) * 1000000;
        case RTTIMEMONOSRC_PRECISE:
        {
            PFNRTLGETINTERRUPTTIMEPRECISE const pfn = rtTimeLookupPrecise();
            if (pfn)
            {
                ULONGLONG u64Counter;
                return pfn(&u64Counter) * 100;
            }
            break;
        }
        default:
            break;
    }
    return rtTimeSharedPageInterruptTime() * 100;
}

RTTIMESPEC *RTTimeUtcNow(RTTIMESPEC *pNow)
{
    if (!RT_VALID_PTR(pNow))
        return nullptr;
    FILETIME ft;
    if (g_pfnGetSystemTimeAsFileTime)
        g_pfnGetSystemTimeAsFileTime(&ft);
    else
    {
        SYSTEMTIME st;
        GetSystemTime(&st);
        SystemTimeToFileTime(&st, &ft);
    }
    uint64_t const u64FileTime = (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
    pNow->i64NsSinceEpoch = static_cast<int64_t>(u64FileTime * 100 - RTTIME_FILE_TIME_EPOCH_DELTA_NS);
    return pNow;
}
