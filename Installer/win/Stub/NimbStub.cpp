/* The installer stub's main program: runtime initialisation and the command line. */
#include "NimbStub.h"
#include "rt/format.h"
#include "rt/init.h"
#include "rt/message.h"

/* The product prints status codes and plain numbers only; the other typed directives stay
   out of the image. */
const RTFMTRTYPEFAMILY *const g_apRTFmtRTypeFamilies[] = { &g_RTFmtRTypeStatus, &g_RTFmtRTypeNumbers, nullptr };

extern "C" int main(int argc, char **argv, char **envp)
{
    (void)envp;
    RTSTATUS const rc = RTR3InitForExe(argc, &argv, RTINIT_F_SYSTEM32_ONLY);
    if (RT_FAILURE(rc))
        return RTMessageInitFailed(rc);

    RunSettings Settings;
    InitRunSettings(&Settings);
    int const rcParse = ParseCommandLine(argc, argv, &Settings);
    if (rcParse != PARSE_CONTINUE)
        return rcParse;
    return 0;
}
