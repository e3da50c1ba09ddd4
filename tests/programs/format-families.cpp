/* Test program for a program's own list of typed-directive families: it names the status
 * and number families only, so that every other type prints as an unknown one (and takes
 * no argument), while the named families print as usual. It also leaves the floating-point
 * conversion out, so that float directives print nothing but still take their argument. */
#include "rt/format.h"
#include "rt/stream.h"

const RTFMTRTYPEFAMILY *const g_apRTFmtRTypeFamilies[] = { &g_RTFmtRTypeStatus, &g_RTFmtRTypeNumbers, nullptr };
const RTFmtFloatFn g_pfnRTFmtFloat = nullptr;

extern "C" int main(int argc, char **argv, char **envp)
{
    (void)argc; (void)argv; (void)envp;
    /* Left out: size (%Rhcb), escape (%RMes), object (%RTuuid, %RDtimespec), hex dump
       (%Rhxs), name (%Rbn), custom (%R[x]) and Win32 error (%Rwc) types. */
    RTPrintfStdOut("%Rrc|%RX16|%RTbool|%Rhcb|%RMes|%RTuuid|%RDtimespec|%Rhxs|%Rbn|%R[x]|%Rwc|%RU32\n",
                   ERR_OPTION_UNKNOWN, 0xbeefu, true, 42u);
    RTPrintfStdOut("[%f|%-8e|%G|%a]%u\n", 1.5, -2.0, 0.0, 1e300, 7u);
    return 0;
}
