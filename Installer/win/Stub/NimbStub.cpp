/* The installer stub's main program: runtime initialisation and the command line. */
#include "NimbStub.h"

extern "C" int main(int argc, char **argv, char **envp)
{
    (void)envp;
    RunSettings Settings;
    InitRunSettings(&Settings);
    int const rcParse = ParseCommandLine(argc, argv, &Settings);
    if (rcParse != PARSE_CONTINUE)
        return rcParse;
    return 0;
}
