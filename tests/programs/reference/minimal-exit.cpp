/* The least a Windows program can do: its entry point ends the process at once. The
 * start-up benchmark measures the runtime's whole start-up and exit against it.
 *
 * With NIMB_BENCH_LOAD_SOCKETS set it first loads the socket library from the system
 * directory, as the runtime's initialisation must: the memory benchmark's floor. */
#include <windows.h>

extern "C" void ReferenceEntry(void)
{
    if (GetEnvironmentVariableW(L"NIMB_BENCH_LOAD_SOCKETS", nullptr, 0))
        LoadLibraryExW(L"ws2_32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    for (;;)
        TerminateProcess(GetCurrentProcess(), 0);
}
