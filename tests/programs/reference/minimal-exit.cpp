/* The least a Windows program can do: its entry point ends the process at once. The
 * start-up benchmark measures the runtime's whole start-up and exit against it. */
#include <windows.h>

extern "C" void ReferenceEntry(void)
{
    for (;;)
        TerminateProcess(GetCurrentProcess(), 0);
}
