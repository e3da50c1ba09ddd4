/* The run summary that --verbose prints before the work starts. */
#include "NimbStub.h"
#include "rt/stream.h"

void PrintRunSummary(const RunSettings *pSettings)
{
    RTPrintfStdOut("Extraction path          : %s\n"
                   "Silent installation      : %RTbool\n"
                   "Certificate installation : %RTbool\n"
                   "Additional MSI parameters: %s\n"
                   "Logging to file          : %s\n",
                   pSettings->extractionDir, g_InstallerState.silentMode, pSettings->addCertificates,
                   pSettings->msiArguments[0] ? pSettings->msiArguments : "<None>",
                   pSettings->msiLogPath[0] ? pSettings->msiLogPath : "<None>");
}
