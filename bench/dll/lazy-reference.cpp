/* The reference of the lazy-binding benchmark: a library that imports USER32 the ordinary
 * way, so that its calls go through an import table the system's loader filled. The loop is
 * the benchmark's own, compiled alike. */
#include <windows.h>
#include <stdint.h>

extern "C" __declspec(dllexport) uint32_t BenchDesktopImported(uint32_t cCalls)
{
    uint32_t uSum = 0;
    for (uint32_t i = 0; i < cCalls; i++)
        uSum += static_cast<uint32_t>(reinterpret_cast<uintptr_t>(GetDesktopWindow()));
    return uSum;
}
