/* The installer stub's main program: runtime initialisation, the command line and the run
 * sequence, from the single-instance check to the exit code. */
#include "NimbStub.h"
#include "NimbStubCleanup.h"
#include "NimbStubCustomDir.h"
#include "NimbStubDirAccess.h"
#include "NimbStubInstall.h"
#include "NimbStubMsi.h"
#include "NimbStubPackages.h"
#include "rt/dir.h"
#include "rt/format.h"
#include "rt/getopt.h"
#include "rt/init.h"
#include "rt/message.h"
#include "rt/path.h"
#include "rt/rand.h"
#include "rt/startup.h"
#include "rt/stream.h"
#include "rt/string.h"

namespace {

/** Name of the mutex that keeps a second installer from running at the same time. */
constexpr RTUTF16 g_wszInstallerMutex[] = L"NimbStubInstaller";
/** Windows Installer's log in the extraction directory when --logging names no file. */
constexpr char g_szDefaultLogName[] = "NimbInstallLog.txt";

/** Takes the single-instance mutex. @returns false when another installer holds it: it
 *  exists already, or it belongs to an installer of another user or an elevated one, whose
 *  mutex this process may not open. No handle at all does not stop the run. */
bool takeInstallerMutex(HANDLE *phMutex)
{
    SetLastError(ERROR_SUCCESS);
    HANDLE const hMutex = CreateMutexW(nullptr, FALSE, reinterpret_cast<LPCWSTR>(g_wszInstallerMutex));
    DWORD const uError = GetLastError();
    if (hMutex && uError == ERROR_ALREADY_EXISTS)
    {
        CloseHandle(hMutex);
        return false;
    }
    if (!hMutex && uError == ERROR_ACCESS_DENIED)
        return false;
    *phMutex = hMutex;
    return true;
}

/** Puts a new private directory under the temporary directory into @p pSettings (or the
 *  temporary directory itself when only extracting) and lists a created one.
 *  @returns 0, or the exit code after reporting. */
int chooseTempExtractionDir(RunSettings *pSettings, CleanupRecord **ppDirRecord)
{
    char *pszDir = pSettings->extractionDir;
    /* Absolute already, as --path is: extraction changes the current directory. */
    RTSTATUS rc = RTPathTempDir(pszDir, PATH_FIELD_SIZE);
    if (RT_FAILURE(rc))
        return ReportError("Failed to find temporary directory: %Rrc", rc);
    if (pSettings->onlyExtract)
        return 0;

    rc = RTPathAppendStr(pszDir, PATH_FIELD_SIZE, EXTRACT_NAME_TEMPLATE);
    if (RT_SUCCESS(rc))
        rc = RTDirMakeTemp(pszDir, EXTRACT_CREATE_MODE);
    if (RT_FAILURE(rc))
        return ReportError("Failed to create extraction path: %Rrc", rc);
    rc = RestrictDirectoryAccess(pszDir);
    if (RT_FAILURE(rc))
    {
        RTDirDelete(pszDir);
        return ReportError(EXTRACT_DIR_FAILURE, "protect", pszDir, rc);
    }
    /* Without a record the run goes on; the directory then stays behind, empty. */
    *ppDirRecord = AddCleanupRecord(pszDir, false /*isFile*/);
    return 0;
}

/** Opens the console of --verbose and points both message streams at it. A process that
 *  has a console already (started from one) is refused another with access denied: it
 *  uses the one it has, or its standard streams where that cannot be opened.
 *  @p pfAllocated says whether the console is this run's own, to free at the end. */
int openVerboseConsole(bool *pfAllocated)
{
    *pfAllocated = AllocConsole() != FALSE;
    DWORD const uError = *pfAllocated ? ERROR_SUCCESS : GetLastError();
    if (!*pfAllocated && uError != ERROR_ACCESS_DENIED)
        return ReportError("Unable to allocate console: LastError=%u\n", uError);
    PRTSTREAM pConsole = nullptr;
    if (RT_SUCCESS(RTStreamOpenPath("CONOUT$", "a", &pConsole)))
    {
        RTStreamSetBuffering(pConsole, RTSTREAMBUF_NONE);
        g_pStreamStdOut = pConsole;
        g_pStreamStdErr = pConsole;
    }
    return 0;
}

/** Windows Installer logs to the file given, or with --logging alone to the default name
 *  in the extraction directory. */
int chooseMsiLogPath(RunSettings *pSettings)
{
    if (pSettings->msiLogPath[0])
        pSettings->msiLogging = true;
    if (!pSettings->msiLogging || pSettings->msiLogPath[0])
        return 0;
    RTStrCopyBounded(pSettings->msiLogPath, sizeof(pSettings->msiLogPath), pSettings->extractionDir);
    RTSTATUS const rc = RTPathAppendStr(pSettings->msiLogPath, sizeof(pSettings->msiLogPath), g_szDefaultLogName);
    if (RT_FAILURE(rc))
        return ReportError("Error creating MSI log file name, rc=%Rrc", rc);
    return 0;
}

/** The manifest's package count. @returns 0, or the exit code after reporting. */
int loadManifest(uint32_t *pcPackages)
{
    const void *pvManifest = nullptr;
    uint32_t cbManifest = 0;
    RTSTATUS const rc = LoadEmbeddedResource(PAYLOAD_MANIFEST_NAME, &pvManifest, &cbManifest);
    if (RT_FAILURE(rc))
        return ReportError("Internal package error: Manifest not found (%Rrc)", rc);
    /* The count is the manifest's last byte: a shorter resource ends before it. */
    if (cbManifest < sizeof(PackageManifest))
        return ReportError("Internal package error: Manifest too short (%u bytes)", cbManifest);
    *pcPackages = static_cast<const PackageManifest *>(pvManifest)->packageCount;
    return 0;
}

} /* namespace */

/* The product prints status codes and plain numbers only; the other typed directives stay
   out of the image. */
const RTFMTRTYPEFAMILY *const g_apRTFmtRTypeFamilies[] = { &g_RTFmtRTypeStatus, &g_RTFmtRTypeNumbers, nullptr };
/* Every option of the installer is a flag or takes a string: no value conversion is linked. */
const RTGETOPTVALFAMILY *const g_apRTGetOptValFamilies[] = { nullptr };
/* Nor does it print a floating-point value anywhere. */
const RTFmtFloatFn g_pfnRTFmtFloat = nullptr;
/* Its only random draws name temporary directories: no generator state is ever saved. */
const RTRANDPMSTATEOPS *const g_pRTRandPmStateOps = nullptr;

extern "C" int main(int argc, char **argv, char **envp)
{
    (void)envp;
    RTSTATUS const rcInit = RTR3InitForExe(argc, &argv, RTINIT_F_SYSTEM32_ONLY);
    if (RT_FAILURE(rcInit))
        return RTMessageInitFailed(rcInit);

    RunSettings Settings;
    InitRunSettings(&Settings);
    int const rcParse = ParseCommandLine(argc, argv, &Settings);
    if (rcParse != PARSE_CONTINUE)
        return rcParse;

    HANDLE hMutex = nullptr;
    if (!takeInstallerMutex(&hMutex))
        return ReportError("Another installer is already running");

    InitCleanupList();
    CleanupRecord *pDirRecord = nullptr;
    if (!Settings.extractionDir[0])
    {
        int const rcDir = chooseTempExtractionDir(&Settings, &pDirRecord);
        if (rcDir)
        {
            if (hMutex)
                CloseHandle(hMutex);
            return rcDir;
        }
    }
    RTPathToBackslashes(Settings.extractionDir);

    bool fOwnConsole = false;
    if (g_InstallerState.verboseLevel > 0)
        if (int const rcConsole = openVerboseConsole(&fOwnConsole))
            return rcConsole;
    if (int const rcLog = chooseMsiLogPath(&Settings))
        return rcLog;
    if (g_InstallerState.verboseLevel > 0)
        PrintRunSummary(&Settings);

    int rcExit = 0;
    uint32_t cPackages = 0;
    bool fCleanup = false;
    if (!Settings.onlyExtract && !g_InstallerState.silentMode && !HostIs64Bit())
        rcExit = ReportError("32-bit Windows hosts are not supported by this Nimbrel release.");
    else if ((rcExit = loadManifest(&cPackages)) != 0)
    {
        /* Nothing extracted: a directory made for this run stays behind, empty. */
    }
    else
    {
        rcExit = ExtractPackages(cPackages, Settings.extractionDir, Settings.onlyExtract, &pDirRecord);
        if (Settings.onlyExtract)
        {
            if (rcExit == 0)
                ReportInfo("Files were extracted to: %s", Settings.extractionDir);
        }
        else
        {
            fCleanup = true;
            if (rcExit == 0)
                rcExit = CopyCustomDirectory(Settings.extractionDir);

            /* The publisher certificate only in silent runs, once everything is in place. */
            if (rcExit == 0 && Settings.addCertificates && g_InstallerState.silentMode)
                rcExit = InstallCertificates();
            rcExit = InstallPackages(cPackages, &Settings, rcExit);
        }
    }

    if (fCleanup)
    {
        /* Leave the extraction directory so that it can be removed. */
        RTPathSetCurrentDir("..");
        bool const fRemoveExtra = !Settings.msiLogging && pDirRecord && !pDirRecord->keepOnDisk;
        RunCleanup(fRemoveExtra ? Settings.extractionDir : nullptr);
    }
    FreeCleanupList();

    /* A console the process was started with stays its own to the end. */
    if (fOwnConsole)
        FreeConsole();
    if (hMutex)
        CloseHandle(hMutex);
    /* A restart that is needed, or already on its way, is no failure of ours. */
    if (   (rcExit == ERROR_SUCCESS_REBOOT_REQUIRED || rcExit == ERROR_SUCCESS_REBOOT_INITIATED)
        && Settings.ignoreRebootCode)
        return 0;
    return rcExit;
}
