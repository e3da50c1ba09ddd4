/* Test program for the stack-check hooks: the only argument names the hook to fail, called
 * the way compiled code calls it. Before failing, the probe prints on standard output what
 * the report must contain and the probe alone knows:
 *   cookie   the cookie check with a word that differs: "<cookie> <word>"
 *   vars     the guarded-variable check with the guard after the second variable changed
 *            and a name pointer near zero: "<address of that variable>"
 *   esp      the stack-pointer balance check after a comparison that differed
 *   range    the array range check
 *   context  the exception context's stack check with a stack pointer outside the thread's
 *            stack: "<pc> <sp> <bp>" of that context
 * The report itself goes to standard error and the process ends with 0xC0000409. */
#include <windows.h>
#include "rt/stream.h"
#include "rt/string.h"
#include "internal/startup.h"

extern "C" uintptr_t __stack_chk_guard;

struct ProbeVarDesc
{
    int32_t     off;
    uint32_t    cb;
    const char *pszName;
};
struct ProbeFrameDesc
{
    int32_t             cVars;
    const ProbeVarDesc *paVars;
};

extern "C" void __fastcall __security_check_cookie(uintptr_t uCookieWord);
extern "C" void __fastcall _RTC_CheckStackVars(void *pvFrame, const ProbeFrameDesc *pDesc);
extern "C" void __report_rangecheckfailure(void);

extern "C" int main(int argc, char **argv, char **envp)
{
    (void)envp;
    const char *pszWhat = argc > 1 ? argv[1] : "";
    /* The process ends without exit routines: what is printed must be out at once. */
    RTStreamSetBuffering(g_pStdOut, RTSTREAMBUF_NONE);
    if (!RTStrCompareNullSafe(pszWhat, "cookie"))
    {
        uintptr_t const uWord = __stack_chk_guard ^ 0x01000010;
        RTPrintfStdOut("%08x %08x", static_cast<uint32_t>(__stack_chk_guard), static_cast<uint32_t>(uWord));
        __security_check_cookie(__stack_chk_guard);      /* intact: returns */
        __security_check_cookie(uWord);
    }
    else if (!RTStrCompareNullSafe(pszWhat, "vars"))
    {
        /* A frame of two guarded variables, each between guard words of 0xCC bytes. */
        alignas(4) uint8_t abFrame[64];
        for (uint8_t &b : abFrame)
            b = 0xCC;
        static const char s_szFirst[] = "abFirst";
        ProbeVarDesc const aVars[2] = { { 4, 8, s_szFirst }, { 20, 6, reinterpret_cast<const char *>(0x10) } };
        ProbeFrameDesc const Desc = { 2, aVars };
        _RTC_CheckStackVars(abFrame, &Desc);              /* intact: returns */
        abFrame[20 + 6] = 0;                              /* the guard after the second */
        RTPrintfStdOut("%08x", static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&abFrame[20])));
        _RTC_CheckStackVars(abFrame, &Desc);
    }
    else if (!RTStrCompareNullSafe(pszWhat, "esp"))
    {
        __asm__ __volatile__("cmpl %%esp, %%esp\n\t"
                             "call __RTC_CheckEsp\n\t"      /* equal: returns */
                             "cmpl $0, %%esp\n\t"
                             "call __RTC_CheckEsp" ::: "cc", "memory");
    }
    else if (!RTStrCompareNullSafe(pszWhat, "range"))
    {
        __report_rangecheckfailure();
    }
    else if (!RTStrCompareNullSafe(pszWhat, "context"))
    {
        CONTEXT Ctx = {};
        Ctx.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
        Ctx.Eip = 0x00401234;
        Ctx.Ebp = static_cast<DWORD>(reinterpret_cast<uintptr_t>(&Ctx));
        Ctx.Esp = static_cast<DWORD>(reinterpret_cast<uintptr_t>(&Ctx));
        rtCheckContextStack(&Ctx);                        /* on this stack: returns */
        Ctx.Esp = 0x10;
        RTPrintfStdOut("%08x %08x %08x", static_cast<uint32_t>(Ctx.Eip), static_cast<uint32_t>(Ctx.Esp),
                       static_cast<uint32_t>(Ctx.Ebp));
        rtCheckContextStack(&Ctx);
    }
    return 0;
}
