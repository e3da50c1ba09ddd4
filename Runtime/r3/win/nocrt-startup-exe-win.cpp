/* Process entry of programs without a C runtime (scaffold: replaced by the full start-up). */
#include <windows.h>
#include "rt/types.h"

extern "C" int main(int argc, char **argv, char **envp);
/* GCC makes a function called main call __main to run constructors; start-up does that. */
extern "C" void __main(void) {}
extern "C" unsigned __stack_chk_guard;
unsigned __stack_chk_guard = 0xDEADBEEF;
extern "C" void __stack_chk_fail(void) { TerminateProcess(GetCurrentProcess(), 0xC0000409); for (;;) {} }

extern "C" void __cdecl rtStartupExeEntry(void)
{
    static char s_szArg0[] = "NimbStub";
    static char *s_apszArgs[] = { s_szArg0, nullptr };
    int rc = main(1, s_apszArgs, nullptr);
    for (;;)
        TerminateProcess(GetCurrentProcess(), rc);
}
