/* The unhandled-exception report: what is known about the exception, written to the
 * logger the hooks return: the records, the registers, a dump of the stack around the
 * filter, the thread, the loaded modules and the code addresses found on the stack, and
 * the command line. Every structure is reached only through pointers that pass the
 * pointer test, and the stack is read only within the thread's own stack, so that the
 * report itself cannot fault. */
#include "internal/r3-win.h"
#include <winternl.h>
#include "rt/log.h"
#include "rt/xcpt.h"
#include "internal/thread.h"

/** The process id, fetched on the first report. */
static uint32_t g_uXcptProcessId = UINT32_MAX;

namespace {

/** Parameters printed per exception record at most. */
constexpr uint32_t RTXCPT_MAX_XCPT_PARAMS = 15;
static_assert(RTXCPT_MAX_XCPT_PARAMS == EXCEPTION_MAXIMUM_PARAMETERS, "every parameter slot the record has");
/** Modules listed at most; one more ends the walk. */
constexpr unsigned RTXCPT_MAX_MODULES = 1024;
constexpr uintptr_t RTXCPT_PAGE_SIZE = 4096;
/** A dump window smaller than this takes one page more. */
constexpr uintptr_t RTXCPT_MIN_DUMP_SIZE = 512;
/** A context stack pointer this far above the dump base still widens the window. */
constexpr uintptr_t RTXCPT_MAX_SCAN_DISTANCE = 0x4000;
/** The thread's stack limits replace the window when the top is closer than this. */
constexpr uintptr_t RTXCPT_MAX_STACK_DUMP = 0x100000;
/** A module path longer than this (in bytes) is not believed. */
constexpr USHORT RTXCPT_MAX_PATH_BYTES = 0x1FFF;
/** Width of the address columns in the module list and of the "Xcpt PC" label. */
constexpr int RTXCPT_MODULE_COLUMN = 17;
constexpr int RTXCPT_LABEL_COLUMN = 8;

} /* namespace */

/** The loader's module entry on this architecture: only the fields the report reads. */
struct RTXCPTLDRENTRY
{
    LIST_ENTRY     InLoadOrderLinks;
    LIST_ENTRY     InMemoryOrderLinks;
    LIST_ENTRY     InInitializationOrderLinks;
    uintptr_t      uDllBase;
    PVOID          pvEntryPoint;
    uint32_t       cbImage;
    UNICODE_STRING FullDllName;
};
static_assert(offsetof(RTXCPTLDRENTRY, InMemoryOrderLinks) == 8, "i386 loader entry layout");
static_assert(offsetof(RTXCPTLDRENTRY, uDllBase) == 0x18, "i386 loader entry layout");
static_assert(offsetof(RTXCPTLDRENTRY, cbImage) == 0x20, "i386 loader entry layout");
static_assert(offsetof(RTXCPTLDRENTRY, FullDllName) == 0x24, "i386 loader entry layout");

/** The calling thread's information block, through its self pointer. */
static TEB *rtXcptCurrentTeb(void)
{
    TEB *pTeb;
    __asm__("movl %%fs:%c1, %0" : "=r"(pTeb) : "i"(offsetof(NT_TIB, Self)));
    return pTeb;
}
static_assert(offsetof(TEB, ProcessEnvironmentBlock) == 0x30, "i386 thread information block layout");

static void rtXcptPrint(RTLOGINSTANCE *pLogger, const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    if (g_pfnLogPrintV)
        g_pfnLogPrintV(pLogger, 0, RTLOG_NO_GROUP, pszFormat, args);
    va_end(args);
}

static bool rtXcptIsPathSound(const UNICODE_STRING *pStr)
{
    return RT_VALID_PTR(pStr->Buffer) && pStr->Length >= 1 && pStr->Length <= RTXCPT_MAX_PATH_BYTES
        && !(pStr->Length & 1) && pStr->Length <= pStr->MaximumLength;
}

/** The link time stamp from the image's headers, 0 when they do not look like an image. */
static uint32_t rtXcptImageTimestamp(uintptr_t uBase, uint32_t cbImage)
{
    auto const *pDos = reinterpret_cast<const IMAGE_DOS_HEADER *>(uBase);
    if (!RT_VALID_PTR(pDos) || cbImage < sizeof(*pDos) || pDos->e_magic != IMAGE_DOS_SIGNATURE)
        return 0;
    uint32_t const offNt = static_cast<uint32_t>(pDos->e_lfanew);
    if (offNt > cbImage - sizeof(IMAGE_NT_HEADERS32) || cbImage < sizeof(IMAGE_NT_HEADERS32))
        return 0;
    auto const *pNt = reinterpret_cast<const IMAGE_NT_HEADERS32 *>(uBase + offNt);
    return pNt->Signature == IMAGE_NT_SIGNATURE ? pNt->FileHeader.TimeDateStamp : 0;
}

/** Walks the loaded modules in memory order; @p fnVisit returns false to stop. Returns the
 *  number of entries visited. */
template<typename FnVisit>
static unsigned rtXcptWalkModules(PEB_LDR_DATA *pLdr, FnVisit fnVisit)
{
    LIST_ENTRY *const pHead = &pLdr->InMemoryOrderModuleList;
    unsigned cModules = 0;
    for (LIST_ENTRY *pLink = pHead->Flink; RT_VALID_PTR(pLink) && pLink != pHead; pLink = pLink->Flink)
    {
        if (cModules >= RTXCPT_MAX_MODULES)
        {
            cModules++;
            break;
        }
        cModules++;
        auto *const pEntry = CONTAINING_RECORD(pLink, RTXCPTLDRENTRY, InMemoryOrderLinks);
        if (!fnVisit(pEntry))
            break;
    }
    return cModules;
}

/** One line naming @p uAddr as an offset into the module of @p pEntry. */
static void rtXcptPrintModuleOffset(RTLOGINSTANCE *pLogger, const char *pszLabel, uintptr_t uWhere, uintptr_t uAddr,
                                    const RTXCPTLDRENTRY *pEntry)
{
    uint32_t const off = static_cast<uint32_t>(uAddr - pEntry->uDllBase);
    if (pszLabel && rtXcptIsPathSound(&pEntry->FullDllName))
        rtXcptPrint(pLogger, "%-*s: %p - %#010RX32 bytes into %.*ls\n", RTXCPT_LABEL_COLUMN, pszLabel, uAddr, off,
                    pEntry->FullDllName.Length / 2, pEntry->FullDllName.Buffer);
    else if (pszLabel)
        rtXcptPrint(pLogger, "%-*s: %p - %08RX32 into module at %p\n", RTXCPT_LABEL_COLUMN, pszLabel, uAddr, off,
                    pEntry->uDllBase);
    else if (rtXcptIsPathSound(&pEntry->FullDllName))
        rtXcptPrint(pLogger, "%p: %p - %#010RX32 bytes into %.*ls\n", uWhere, uAddr, off,
                    pEntry->FullDllName.Length / 2, pEntry->FullDllName.Buffer);
    else
        rtXcptPrint(pLogger, "%p: %p - %08RX32 into module at %p\n", uWhere, uAddr, off, pEntry->uDllBase);
}

/** The calling thread's stack: [*puLow, *puHigh), from the query when the platform has it,
 *  else from the thread's information block, so that the window can always be bounded. */
static void rtXcptStackLimits(uintptr_t *puLow, uintptr_t *puHigh)
{
    PFNGETCURRENTTHREADSTACKLIMITS const pfnLimits = g_pfnGetCurrentThreadStackLimits;
    if (pfnLimits)
    {
        ULONG_PTR uLow = *puLow, uHigh = *puHigh;
        pfnLimits(&uLow, &uHigh);
        *puLow = uLow;
        *puHigh = uHigh;
        return;
    }
    NT_TIB const *pTib = reinterpret_cast<NT_TIB const *>(rtXcptCurrentTeb());
    *puLow = reinterpret_cast<uintptr_t>(pTib->StackLimit);
    *puHigh = reinterpret_cast<uintptr_t>(pTib->StackBase);
}

static void rtXcptReport(RTLOGINSTANCE *pLogger, PEXCEPTION_POINTERS pXcptPtrs)
{
    if (g_uXcptProcessId == UINT32_MAX)
        g_uXcptProcessId = GetCurrentProcessId();
    uintptr_t const uThreadId = GetCurrentThreadId();
    rtXcptPrint(pLogger, "\n!!! rtR3WinUnhandledXcptFilter caught an exception on thread %p in %u !!!\n",
                uThreadId, g_uXcptProcessId);

    /* The records: the exception and one level of nesting. */
    uintptr_t uXcptPC = 0;
    bool const fPtrs = RT_VALID_PTR(pXcptPtrs);
    PEXCEPTION_RECORD const pRec = fPtrs ? pXcptPtrs->ExceptionRecord : nullptr;
    if (RT_VALID_PTR(pRec))
    {
        rtXcptPrint(pLogger, "\nExceptionCode=%#010x ExceptionFlags=%#010x ExceptionAddress=%p\n",
                    pRec->ExceptionCode, pRec->ExceptionFlags, pRec->ExceptionAddress);
        for (uint32_t i = 0; i < pRec->NumberParameters && i < RTXCPT_MAX_XCPT_PARAMS; i++)
            rtXcptPrint(pLogger, "ExceptionInformation[%d]=%p\n", i, pRec->ExceptionInformation[i]);
        uXcptPC = reinterpret_cast<uintptr_t>(pRec->ExceptionAddress);

        PEXCEPTION_RECORD const pNested = pRec->ExceptionRecord;
        if (RT_VALID_PTR(pNested))
        {
            rtXcptPrint(pLogger, "Nested: ExceptionCode=%#010x ExceptionFlags=%#010x ExceptionAddress=%p (nested %p)\n",
                        pNested->ExceptionCode, pNested->ExceptionFlags, pNested->ExceptionAddress,
                        pNested->ExceptionRecord);
            for (uint32_t i = 0; i < pNested->NumberParameters && i < RTXCPT_MAX_XCPT_PARAMS; i++)
                rtXcptPrint(pLogger, "Nested: ExceptionInformation[%d]=%p\n", i, pNested->ExceptionInformation[i]);
            uXcptPC = reinterpret_cast<uintptr_t>(pNested->ExceptionAddress);
        }
    }

    /* The registers; the stack scan starts at the context's stack pointer, else here. */
    volatile char szMarker[12] = "stackmarker";
    uintptr_t const uMarker = reinterpret_cast<uintptr_t>(&szMarker[0]);
    uintptr_t uScanStart = uMarker;
    PCONTEXT const pCtx = fPtrs ? pXcptPtrs->ContextRecord : nullptr;
    if (RT_VALID_PTR(pCtx))
    {
        rtXcptPrint(pLogger, "\ncs:eip=%04x:%08RX32\n", pCtx->SegCs, pCtx->Eip);
        rtXcptPrint(pLogger, "ss:esp=%04x:%08RX32 ebp=%08RX32\n", pCtx->SegSs, pCtx->Esp, pCtx->Ebp);
        rtXcptPrint(pLogger, "eax=%08RX32 ecx=%08RX32 edx=%08RX32 ebx=%08RX32\n", pCtx->Eax, pCtx->Ecx, pCtx->Edx,
                    pCtx->Ebx);
        rtXcptPrint(pLogger, "esi=%08RX32 edi=%08RX32 esp=%08RX32 ebp=%08RX32\n", pCtx->Esi, pCtx->Edi, pCtx->Esp,
                    pCtx->Ebp);
        rtXcptPrint(pLogger, "ds=%04x es=%04x fs=%04x gs=%04x eflags=%08x\n", pCtx->SegDs, pCtx->SegEs, pCtx->SegFs,
                    pCtx->SegGs, pCtx->EFlags);
        uXcptPC = pCtx->Eip;
        uScanStart = pCtx->Esp;
    }

    /* The dump window: from the marker's paragraph to its page's end, widened towards the
     * scan start when that lies a little above, and to the top of the stack when that is
     * near. Never past the top: the context's stack pointer may be anything. */
    uintptr_t const uBase = uMarker & ~static_cast<uintptr_t>(15);
    uintptr_t cbDump = RTXCPT_PAGE_SIZE - (uBase % RTXCPT_PAGE_SIZE);
    if (cbDump < RTXCPT_MIN_DUMP_SIZE)
        cbDump += RTXCPT_PAGE_SIZE;
    uintptr_t const offScan = uScanStart - uBase;
    while (offScan > cbDump && offScan <= RTXCPT_MAX_SCAN_DISTANCE)
        cbDump += RTXCPT_PAGE_SIZE;
    uintptr_t uLow = uMarker, uHigh = uMarker;
    rtXcptStackLimits(&uLow, &uHigh);
    uintptr_t const uTop = uLow > uHigh ? uLow : uHigh;
    if (uTop - uBase < RTXCPT_MAX_STACK_DUMP)
        cbDump = uTop - uBase;
    rtXcptPrint(pLogger, "\nStack %p, dumping %#x bytes (low=%p, high=%p)\n", uBase, cbDump, uLow, uHigh);
    rtXcptPrint(pLogger, "%.*RhxD\n", cbDump, uBase);

    rtXcptPrint(pLogger, "Thread ID:   %p\n", uThreadId);
    rtXcptPrint(pLogger, "Thread name: %s\n", RTThreadCurrentName());
    rtXcptPrint(pLogger, "Thread ZUNT: %p\n", RTThreadCurrentRecord());

    /* The modules, with the one holding the exception address marked. */
    PEB *const pPeb = rtXcptCurrentTeb()->ProcessEnvironmentBlock;
    PEB_LDR_DATA *const pLdr = RT_VALID_PTR(pPeb) ? pPeb->Ldr : nullptr;
    if (RT_VALID_PTR(pLdr))
    {
        rtXcptPrint(pLogger, "\nLoaded Modules:\n%-*s[*] Timestamp Path\n", RTXCPT_MODULE_COLUMN, "Address range");
        RTXCPTLDRENTRY *pXcptModule = nullptr;
        unsigned const cModules = rtXcptWalkModules(pLdr, [&](RTXCPTLDRENTRY *pEntry) {
            uintptr_t const uBaseMod = pEntry->uDllBase;
            uintptr_t const uEnd = uBaseMod + pEntry->cbImage - 1;
            char chMark = ' ';
            if (uXcptPC - uBaseMod < pEntry->cbImage)
            {
                chMark = '*';
                pXcptModule = pEntry;
            }
            uint32_t const uStamp = rtXcptImageTimestamp(uBaseMod, pEntry->cbImage);
            if (rtXcptIsPathSound(&pEntry->FullDllName))
                rtXcptPrint(pLogger, "%p..%p%c  %08RX32  %.*ls\n", uBaseMod, uEnd, chMark, uStamp,
                            pEntry->FullDllName.Length / 2, pEntry->FullDllName.Buffer);
            else
                rtXcptPrint(pLogger, "%p..%p%c  %08RX32  <bad or missing: %p LB %#x max %#x\n", uBaseMod, uEnd, chMark,
                            uStamp, pEntry->FullDllName.Buffer, pEntry->FullDllName.Length,
                            pEntry->FullDllName.MaximumLength);
            return true;
        });

        /* Words on the stack that point into a module. */
        if (cModules < RTXCPT_MAX_MODULES && offScan < cbDump)
        {
            rtXcptPrint(pLogger, "\nPotential code addresses on the stack:\n");
            if (pXcptModule)
                rtXcptPrintModuleOffset(pLogger, "Xcpt PC", 0, uXcptPC, pXcptModule);
            uintptr_t const uEnd = uBase + cbDump;
            for (uintptr_t uWord = uScanStart; uWord + sizeof(uint32_t) <= uEnd; uWord += sizeof(uint32_t))
            {
                uintptr_t const uValue = *reinterpret_cast<const uint32_t *>(uWord);
                if (!RT_VALID_PTR(reinterpret_cast<void *>(uValue)))
                    continue;
                rtXcptWalkModules(pLdr, [&](RTXCPTLDRENTRY *pEntry) {
                    if (uValue - pEntry->uDllBase >= pEntry->cbImage)
                        return true;
                    rtXcptPrintModuleOffset(pLogger, nullptr, uWord, uValue, pEntry);
                    return false;
                });
            }
        }
    }

    RTL_USER_PROCESS_PARAMETERS *const pParams = RT_VALID_PTR(pPeb) ? pPeb->ProcessParameters : nullptr;
    if (RT_VALID_PTR(pParams))
    {
        UNICODE_STRING const *pCmdLine = &pParams->CommandLine;
        if (   RT_VALID_PTR(pCmdLine->Buffer) && pCmdLine->Length && pCmdLine->Length <= pCmdLine->MaximumLength
            && !(pCmdLine->Length & 1) && !(pCmdLine->MaximumLength & 1))
            rtXcptPrint(pLogger, "PEB/CommandLine: %.*ls\n", pCmdLine->Length / 2, pCmdLine->Buffer);
    }
}

void RTXcptSetLoggerHooks(PFNRTXCPTLOGGER pfnFirst, PFNRTXCPTLOGGER pfnSecond)
{
    g_pfnRTXcptReport = rtXcptReport;
    g_pfnXcptLoggerFirst = pfnFirst;
    g_pfnXcptLoggerSecond = pfnSecond;
}
