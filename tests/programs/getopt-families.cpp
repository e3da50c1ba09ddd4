/* Test program for a program's own list of option value families: it names the boolean
 * words only, so that strings and words convert as usual while an integer option, whose
 * family is left out, fails as an option of an undefined type does. Prints one line per
 * parser result and stops at the first error. */
#include "rt/getopt.h"
#include "rt/stream.h"

const RTGETOPTVALFAMILY *const g_apRTGetOptValFamilies[] = { &g_RTGetOptValWords, nullptr };

extern "C" int main(int argc, char **argv, char **envp)
{
    (void)envp;
    static const RTOPTDESC s_aOptions[] =
    {
        { "--flag", 'b', OPTVAL_BOOL },
        { "--num",  'n', OPTVAL_U32 },
        { "--str",  's', OPTVAL_STRING },
    };
    RTOPTPARSER Parser;
    RTSTATUS const rc = RTGetOptInit(&Parser, argc, argv, s_aOptions, RT_ELEMENTS(s_aOptions), 1, 0);
    if (RT_FAILURE(rc))
        return 1;
    RTOPTVALUE Value;
    int rcGetOpt;
    while ((rcGetOpt = RTGetOptNext(&Parser, &Value)) != 0)
    {
        if (rcGetOpt == 'b')
            RTPrintfStdOut("flag %RTbool\n", Value.f);
        else if (rcGetOpt == 's')
            RTPrintfStdOut("str %s\n", Value.psz);
        else if (rcGetOpt == 'n')
            RTPrintfStdOut("num %u\n", Value.u32);
        else
        {
            RTPrintfStdOut("%Rrc %s\n", rcGetOpt, rcGetOpt == ERR_OPTION_UNKNOWN ? Value.psz : "");
            return 2;
        }
    }
    return 0;
}
