/* The option parser over the installer's option table and a 20-argument command line,
 * measured side by side with a plain reference over the same table and arguments: a
 * strcmp search of the names for each argument, skipping the value of a value option. */
#include <stdio.h>
#include <string.h>
#include <vector>
#include "rt/getopt.h"
#include "NimbStub.h"
#include "bench-timer.h"

namespace {

constexpr int kRounds = 7;
constexpr int kPasses = 20000;

/* ns per parser call or lookup in the fastest of kRounds runs of kPasses calls of fn, which
 * returns how many it made in one pass; that count goes to *pcCalls. */
template <typename Fn>
double NsPerCall(Fn fn, int *pcCalls)
{
    *pcCalls = fn();
    return BenchNsPerCall(kRounds, kPasses, [&](int) { return fn(); }) / double(*pcCalls);
}

/* A command line a deployment script might give, plus a few short and slash forms. */
const char *const g_apszArgs[] =
{
    "NimbStub.exe", "/silent", "--no-silent-cert", "--logging", "--msi-log-file", "C:\\Logs\\i.txt",
    "--path", "C:\\Temp\\Nimb", "--msiparams", "INSTALLDIR=C:\\Nimb", "ADDLOCAL=ALL", "--reinstall",
    "--ignore-reboot", "--verbose", "-verbose", "-x", "--force-install-timestamp-ca",
    "-msiparams", "REBOOT=ReallySuppress", "/verbose", "-l",
};
static_assert(sizeof(g_apszArgs) / sizeof(g_apszArgs[0]) == 21, "program name and 20 arguments");

} /* namespace */

int main()
{
    int const cArgs = int(sizeof(g_apszArgs) / sizeof(g_apszArgs[0]));
    std::vector<char *> apszArgv;
    for (const char *psz : g_apszArgs)
        apszArgv.push_back(const_cast<char *>(psz));

    int cGetOptCalls = 0, cLookups = 0;
    double const rGetOpt = NsPerCall([&] {
        RTOPTPARSER State;
        RTGetOptInit(&State, cArgs, apszArgv.data(), g_aCommandLineOptions, COMMAND_LINE_OPTION_COUNT, 1, 0);
        RTOPTVALUE Value;
        int cCalls = 1;
        while (RTGetOptNext(&State, &Value) != 0)
            cCalls++;
        return cCalls;
    }, &cGetOptCalls);

    double const rStrcmp = NsPerCall([&] {
        int cCalls = 1;
        for (int i = 1; i < cArgs; i++, cCalls++)
        {
            for (const RTOPTDESC &Desc : g_aCommandLineOptions)
                if (strcmp(Desc.pszName, apszArgv[i]) == 0)
                {
                    if ((Desc.fKind & OPTVAL_TYPE_MASK) != OPTVAL_NONE)
                        i++;
                    break;
                }
        }
        return cCalls;
    }, &cLookups);

    printf("RTGetOptNext, 36 options, 20 arguments: %2d calls  %7.1f ns/call   strcmp search %2d lookups  %6.1f ns/lookup"
           "   ratio %.2f\n", cGetOptCalls, rGetOpt, cLookups, rStrcmp, rGetOpt / rStrcmp);
    printf("  per command line: RTGetOptNext %.2f us   strcmp search %.2f us   ratio %.2f\n",
           rGetOpt * cGetOptCalls / 1000, rStrcmp * cLookups / 1000, (rGetOpt * cGetOptCalls) / (rStrcmp * cLookups));
    return 0;
}
