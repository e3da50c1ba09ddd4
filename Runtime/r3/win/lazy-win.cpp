/* The first-call resolver of lazily bound system libraries: the first call of a bound
 * function loads its library from the system directory, stores the function's address in
 * its slot and continues into it with the caller's arguments, return address, scratch
 * registers and flags as they were. Later calls go through the slot straight to the
 * function. */
#include "internal/lazy-win.h"
#include "rt/assert.h"

/** Never returns: the breakpoint trap, repeated should anything continue past it. */
[[noreturn]] static void rtLazyTrap(void)
{
    for (;;)
        __asm__ __volatile__("int3");
}

extern "C" __attribute__((used)) void *rtLazyResolve(const RTLAZYLIB *pLib, uint32_t iSlot)
{
    RTLDRMOD hMod = *pLib->phMod;
    if (!hMod)
    {
        RTSTATUS const rc = RTLdrLoadSystemLib(pLib->pszName, true /*fKeepLoaded*/, &hMod);
        if (RT_FAILURE(rc))
        {
            RTAssertReportDetail("Lazy loader failed to load \"%s\": %Rrc\n", pLib->pszName, rc);
            rtLazyTrap();
        }
        *pLib->phMod = hMod;
    }
    const char *const pszFunction = rtLazyFunctionName(pLib, iSlot);
    RTSTATUS const rc = RTLdrLookupSymbol(hMod, pszFunction, &pLib->papvSlots[iSlot]);
    if (RT_FAILURE(rc))
    {
        RTAssertReportDetail("Lazy loader failed to resolve symbol \"%s\" in \"%s\": %Rrc\n",
                             pszFunction, pLib->pszName, rc);
        rtLazyTrap();
    }
    return pLib->papvSlots[iSlot];
}

/*
 * On entry:  [esp] library record, [esp+4] slot index, [esp+8] the caller's return address,
 * then the caller's arguments. The flags and the scratch registers are saved around the
 * call into C; the function's address then takes the index's place and "ret" continues
 * into it as if the caller had called it directly (lea leaves the flags alone).
 */
__asm__(
    ".text\n"
    ".globl _rtLazyResolveEntry\n"
    "_rtLazyResolveEntry:\n"
    "    pushfl\n"
    "    pushl %eax\n"
    "    pushl %ecx\n"
    "    pushl %edx\n"
    "    pushl 20(%esp)\n"          /* slot index */
    "    pushl 20(%esp)\n"          /* library record */
    "    call _rtLazyResolve\n"
    "    leal 8(%esp), %esp\n"
    "    movl %eax, 20(%esp)\n"     /* the function replaces the slot index */
    "    popl %edx\n"
    "    popl %ecx\n"
    "    popl %eax\n"
    "    popfl\n"
    "    leal 4(%esp), %esp\n"      /* drop the library record */
    "    ret\n");
