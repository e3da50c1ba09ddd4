/* The end of every failed stack check, and the check hooks our compiler does not emit but
 * other code built for this platform may call: the cookie check that receives the
 * recomputed word, the guarded-variable check, the stack-pointer balance check and the
 * array range check. Each writes its report raw to standard error, with stack storage
 * only, and ends the process through rtCheckFailureExit. */
#include "internal/r3-win.h"
#include "internal/startup.h"

extern "C" uintptr_t __stack_chk_guard;

namespace {

/** The registers a snapshot holds: control, integer and segment. */
constexpr DWORD RTCHECKFAIL_SNAPSHOT_FLAGS = CONTEXT_CONTROL | CONTEXT_INTEGER | CONTEXT_SEGMENTS;
static_assert(RTCHECKFAIL_SNAPSHOT_FLAGS == 0x10007, "i386 context flags");
/** Each byte of a guard word and of the compiler's stack allocations. */
constexpr uint32_t RTCHECKFAIL_GUARD_WORD = 0xCCCCCCCC;

} /* namespace */

/** A guarded variable as the compiler describes it. */
struct RTCHECKVARDESC
{
    int32_t     off;        /**< from the frame pointer */
    uint32_t    cb;
    const char *pszName;
};
struct RTCHECKFRAMEDESC
{
    int32_t               cVars;
    const RTCHECKVARDESC *paVars;
};
static_assert(sizeof(RTCHECKVARDESC) == 12 && sizeof(RTCHECKFRAMEDESC) == 8, "i386 descriptor layout");

RT_C_DECLS_BEGIN
RT_NORETURN void rtCheckFailureExit(uint32_t uCode, PCONTEXT pCtx);
RT_C_DECLS_END

/* The snapshot keeps the segment, integer and control registers, which the i386 register
 * record holds in one run from SegGs to SegSs; the debug registers and floating-point area
 * before it and the extended area after it stay zero. */
static_assert(offsetof(CONTEXT, Dr0) == sizeof(DWORD) && offsetof(CONTEXT, SegGs) == 0x8C
              && offsetof(CONTEXT, SegSs) == 0xC8 && offsetof(CONTEXT, ExtendedRegisters) == 0xCC
              && sizeof(CONTEXT) == 0x2CC, "i386 register record layout");

/** The registers of the checked function at its call of the hook: instruction pointer =
 *  the return address, stack pointer = where it was before the call, frame pointer = the
 *  checked function's. The other registers are the hook's and say little. */
static void rtCheckSnapshot(CONTEXT *pCtx, uintptr_t uPC, uintptr_t uSP, uintptr_t uBP)
{
    RtlCaptureContext(pCtx);
    uint8_t *pb = reinterpret_cast<uint8_t *>(pCtx);
    __builtin_memset(pb + offsetof(CONTEXT, Dr0), 0, offsetof(CONTEXT, SegGs) - offsetof(CONTEXT, Dr0));
    __builtin_memset(pb + offsetof(CONTEXT, ExtendedRegisters), 0, sizeof(CONTEXT) - offsetof(CONTEXT, ExtendedRegisters));
    pCtx->ContextFlags = RTCHECKFAIL_SNAPSHOT_FLAGS;
    pCtx->Eip = static_cast<DWORD>(uPC);
    pCtx->Esp = static_cast<DWORD>(uSP);
    pCtx->Ebp = static_cast<DWORD>(uBP);
}

extern "C" RT_NORETURN void rtCheckFailureExitAt(uint32_t uCode, uintptr_t uPC, uintptr_t uSP, uintptr_t uBP)
{
    CONTEXT Ctx;
    rtCheckSnapshot(&Ctx, uPC, uSP, uBP);
    rtCheckFailureExit(uCode, &Ctx);
}

/* In a hook with a frame of its own: the caller's return address, its stack pointer before
 * the call (above our saved frame pointer and the return address) and its frame pointer. */
#define RTCHECK_SNAPSHOT_OF_CALLER(a_pCtx) \
    rtCheckSnapshot(a_pCtx, reinterpret_cast<uintptr_t>(__builtin_return_address(0)), \
                    reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) + 2 * sizeof(uintptr_t), \
                    *static_cast<uintptr_t *>(__builtin_frame_address(0)))

extern "C" RT_NORETURN void rtCheckFailureExit(uint32_t uCode, PCONTEXT pCtx)
{
    PFNISPROCESSORFEATUREPRESENT const pfnFeature = g_pfnIsProcessorFeaturePresent;
    if (pfnFeature && pfnFeature(PF_FASTFAIL_AVAILABLE))
        __asm__ __volatile__("int $0x29" : : "c"(uCode) : "memory");

    PFNISDEBUGGERPRESENT const pfnDebugger = g_pfnIsDebuggerPresent;
    if (pfnDebugger && pfnDebugger())
        __asm__ __volatile__("int3");

    /* The platform's error reporting, as for an exception nobody handles. */
    PFNSETUNHANDLEDEXCEPTIONFILTER const pfnSetFilter = g_pfnSetUnhandledExceptionFilter;
    PFNUNHANDLEDEXCEPTIONFILTER const pfnDefault = g_pfnUnhandledExceptionFilter;
    if (pfnSetFilter && pfnDefault)
    {
        pfnSetFilter(nullptr);
        EXCEPTION_RECORD Rec = {};
        Rec.ExceptionCode = STATUS_STACK_BUFFER_OVERRUN;
        Rec.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
        Rec.ExceptionAddress = reinterpret_cast<PVOID>(static_cast<uintptr_t>(pCtx->Eip));
        Rec.NumberParameters = 1;
        Rec.ExceptionInformation[0] = uCode;
        EXCEPTION_POINTERS Ptrs = { &Rec, pCtx };
        pfnDefault(&Ptrs);
    }
    for (;;)
        TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
}

/** The cookie check for code that hands over the recomputed word (in ecx). */
extern "C" void __fastcall __security_check_cookie(uintptr_t uCookieWord)
{
    if (uCookieWord == __stack_chk_guard)
        return;
    CONTEXT Ctx;
    RTCHECK_SNAPSHOT_OF_CALLER(&Ctx);
    rtStartupWriteLiteral("\r\n\r\n!!Stack cookie corruption!!\r\n\r\nexpected");
    rtStartupWriteHex8(static_cast<uint32_t>(__stack_chk_guard));
    rtStartupWriteLiteral(", found ");
    rtStartupWriteHex8(static_cast<uint32_t>(uCookieWord));
    rtStartupWriteLiteral("\r\n");
    rtCheckFailureExit(RTCHECKFAIL_STACK_COOKIE, &Ctx);
}

/** The guarded-variable check: every variable's guard words, before and after it, in the
 *  descriptor's order; the first changed one is reported. */
extern "C" void __fastcall _RTC_CheckStackVars(void *pvFrame, const RTCHECKFRAMEDESC *pDesc)
{
    uintptr_t const uFrame = reinterpret_cast<uintptr_t>(pvFrame);
    for (int32_t i = 0; i < pDesc->cVars; i++)
    {
        RTCHECKVARDESC const *pVar = &pDesc->paVars[i];
        uintptr_t const uVar = uFrame + static_cast<uintptr_t>(pVar->off);
        if (   *reinterpret_cast<const uint32_t *>(uVar - sizeof(uint32_t)) == RTCHECKFAIL_GUARD_WORD
            && *reinterpret_cast<const uint32_t *>(uVar + pVar->cb) == RTCHECKFAIL_GUARD_WORD)
            continue;
        CONTEXT Ctx;
        RTCHECK_SNAPSHOT_OF_CALLER(&Ctx);
        Ctx.Ebp = static_cast<DWORD>(uFrame);
        rtStartupWriteLiteral("\r\n\r\n!!Stack corruption!!\r\n\r\n");
        rtStartupWriteHex8(static_cast<uint32_t>(uVar));
        rtStartupWriteLiteral(" LB ");
        rtStartupWriteHex(pVar->cb);
        rtStartupWriteLiteral(" - ");
        rtStartupWriteString(pVar->pszName);
        rtStartupWriteLiteral("\r\n");
        rtCheckFailureExit(RTCHECKFAIL_INCORRECT_STACK, &Ctx);
    }
}

extern "C" RT_NORETURN void rtCheckEspFailed(void)
{
    CONTEXT Ctx;
    RTCHECK_SNAPSHOT_OF_CALLER(&Ctx);
    rtStartupWriteLiteral("\r\n\r\n!!ESP check failed!!\r\n\r\neip=");
    rtStartupWriteHex8(Ctx.Eip);
    rtStartupWriteLiteral(" esp=");
    rtStartupWriteHex8(Ctx.Esp);
    rtStartupWriteLiteral(" ebp=");
    rtStartupWriteHex8(Ctx.Ebp);
    rtStartupWriteLiteral("\r\n");
    rtCheckFailureExit(RTCHECKFAIL_INCORRECT_STACK, &Ctx);
}

/* The stack-pointer balance check follows the comparison of the saved and the current
 * stack pointer: equal, it returns; else the failure is entered with the checked
 * function's return address still on the stack, as if called from there. */
__asm__(".text\n"
        ".globl __RTC_CheckEsp\n"
        "__RTC_CheckEsp:\n"
        "    jne 1f\n"
        "    ret\n"
        "1:  jmp _rtCheckEspFailed\n");

/** The array range check: called only when an index is out of range. */
extern "C" RT_NORETURN void __report_rangecheckfailure(void)
{
    CONTEXT Ctx;
    RTCHECK_SNAPSHOT_OF_CALLER(&Ctx);
    rtStartupWriteLiteral("\r\n\r\n!!Range check failed at ");
    rtStartupWriteHex8(Ctx.Eip);
    rtStartupWriteLiteral("!!\r\n");
    rtCheckFailureExit(RTCHECKFAIL_RANGE_CHECK, &Ctx);
}

extern "C" void rtCheckContextStack(const void *pvCtx)
{
    const CONTEXT *pCtx = static_cast<const CONTEXT *>(pvCtx);
    const NT_TIB *pTib = reinterpret_cast<const NT_TIB *>(NtCurrentTeb());
    uintptr_t const uSP = pCtx->Esp;
    if (   uSP <= reinterpret_cast<uintptr_t>(pTib->StackBase)
        && uSP >= reinterpret_cast<uintptr_t>(pTib->StackLimit))
        return;
    rtStartupWriteLiteral("\r\n\r\n!!Context (stack) check failed!!\r\n\r\nPC=");
    rtStartupWriteHex8(pCtx->Eip);
    rtStartupWriteLiteral(" SP=");
    rtStartupWriteHex8(pCtx->Esp);
    rtStartupWriteLiteral(" BP=");
    rtStartupWriteHex8(pCtx->Ebp);
    rtStartupWriteLiteral("\r\n");
    CONTEXT Ctx = *pCtx;
    rtCheckFailureExit(RTCHECKFAIL_INVALID_CONTEXT, &Ctx);
}
