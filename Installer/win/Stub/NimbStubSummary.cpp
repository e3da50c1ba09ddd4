/* The run summary that --verbose prints before the work starts. */
#include "NimbStub.h"
#include "rt/stream.h"

void PrintRunSummary(const RunSettings *pSettings)
{
    RTPrintfStdOut("Extraction path          : %s\n", pSettings->extractionDir);
    RTPrintfStdOut("Silent installation      : %RTbool\n", g_InstallerState.silentMode);
    RTPrintfStdOut("Certificate installation : %RTbool\n", pSettings->addCertificates);
    RTPrintfStdOut("Additional MSI parameters: %s\n", pSettings->msiArguments[0] ? pSettings->msiArguments : "<None>");
    RTPrintfStdOut("Logging to file          : %s\n", pSettings->msiLogPath[0] ? pSettings->msiLogPath : "<None>");
}
