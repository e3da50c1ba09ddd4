/* Windows Installer invocation: interface level, verbose log, common controls, the
 * installation itself and the mapping of its result to the installer's exit code. */
#include "NimbStubMsi.h"
#include "NimbStub.h"
#include "rt/message.h"
#include "rt/string.h"
#include <msi.h>
#include <commctrl.h>
#include <lmerr.h>

namespace {

/** Every class of common control a package's dialogs may use. */
constexpr DWORD COMMON_CONTROL_CLASSES = ICC_WIN95_CLASSES | ICC_USEREX_CLASSES | ICC_PAGESCROLLER_CLASS
                                       | ICC_STANDARD_CLASSES | ICC_LINK_CLASS;
static_assert(COMMON_CONTROL_CLASSES == 0xD2FF, "common control classes");
static_assert(sizeof(INITCOMMONCONTROLSEX) == 8, "common controls record");

/** The network message library, where the texts of network error codes live. */
constexpr RTUTF16 g_wszNetworkMessages[] = L"\\netmsg.dll";

constexpr DWORD FORMAT_FROM_SYSTEM = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS
                                   | FORMAT_MESSAGE_FROM_SYSTEM;
constexpr DWORD FORMAT_FROM_MODULE = FORMAT_FROM_SYSTEM | FORMAT_MESSAGE_FROM_HMODULE;
static_assert(FORMAT_FROM_SYSTEM == 0x1300 && FORMAT_FROM_MODULE == 0x1B00, "message lookup flags");
constexpr DWORD FORMAT_USER_DEFAULT_LANGUAGE = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);
static_assert(FORMAT_USER_DEFAULT_LANGUAGE == 0x400, "message language");

/** The log file the last package logged to; a package logging to it again appends. */
char g_szLogStarted[PATH_FIELD_SIZE];

/** The network message library from the system directory (as data only), or null. */
HMODULE loadNetworkMessages()
{
    RTUTF16 wszPath[MAX_PATH + RT_ELEMENTS(g_wszNetworkMessages)];
    UINT const cwcDir = GetSystemDirectoryW(wszPath, MAX_PATH);
    if (cwcDir == 0 || cwcDir >= MAX_PATH)
        return nullptr;
    for (size_t i = 0; i < RT_ELEMENTS(g_wszNetworkMessages); i++)
        wszPath[cwcDir + i] = g_wszNetworkMessages[i];
    return LoadLibraryExW(wszPath, nullptr, LOAD_LIBRARY_AS_DATAFILE);
}

/** Reports a failure with the system's text for @p uResult, or its number. @returns 1. */
int reportInstallFailure(uint32_t uResult)
{
    HMODULE hModMessages = nullptr;
    if (uResult >= NERR_BASE && uResult <= MAX_NERR)
        hModMessages = loadNetworkMessages();
    RTUTF16 *pwszText = nullptr;
    DWORD const cwc = FormatMessageW(hModMessages ? FORMAT_FROM_MODULE : FORMAT_FROM_SYSTEM, hModMessages,
                                     uResult, FORMAT_USER_DEFAULT_LANGUAGE,
                                     reinterpret_cast<LPWSTR>(&pwszText), 0, nullptr);
    if (cwc != 0 && pwszText)
    {
        ReportError("Installation failed! Error: %ls", pwszText);
        LocalFree(pwszText);
    }
    else
        ReportError("Installation failed! Error: %u", uResult);
    if (hModMessages)
        FreeLibrary(hModMessages);
    return 1;
}

/** Turns on the verbose log into @p pszLogPath. @returns 0, or 1 after a message. */
int enableLog(const char *pszLogPath)
{
    RTUTF16 *pwszLogPath = nullptr;
    RTSTATUS const rc = RTStrToUtf16(pszLogPath, &pwszLogPath);
    if (RT_FAILURE(rc))
        return ReportError("RTStrToUtf16 failed on '%s': %Rrc", pszLogPath, rc);
    /* Verbose, every line flushed as written; from the second package on the log is appended
     * to, so that all packages of a run share the one file. */
    bool const fAppend = RTStrCompareNullSafe(g_szLogStarted, pszLogPath) == 0;
    DWORD const fAttributes = INSTALLLOGATTRIBUTES_FLUSHEACHLINE | (fAppend ? INSTALLLOGATTRIBUTES_APPEND : 0);
    UINT const uEnabled = MsiEnableLogW(INSTALLLOGMODE_VERBOSE, pwszLogPath, fAttributes);
    RTUtf16Release(pwszLogPath);
    if (uEnabled != ERROR_SUCCESS)
        return ReportError("MsiEnableLogW failed");
    if (RT_FAILURE(RTStrCopyBounded(g_szLogStarted, sizeof(g_szLogStarted), pszLogPath)))
        g_szLogStarted[0] = '\0';
    return 0;
}

} /* namespace */

int MapInstallerResult(uint32_t uResult, const char *pszPackage)
{
    switch (uResult)
    {
        case ERROR_SUCCESS:
        case ERROR_SUCCESS_REBOOT_INITIATED:    /* succeeded; the restart is already on its way */
            return static_cast<int>(uResult);
        case ERROR_SUCCESS_REBOOT_REQUIRED:
            if (g_InstallerState.silentMode)
                RTMessageToStdOut("Reboot required (by %s)\n", pszPackage);
            return ERROR_SUCCESS_REBOOT_REQUIRED;
        case ERROR_INSTALL_USEREXIT:
            return 1;
        case ERROR_INSTALL_PACKAGE_VERSION:
            return ReportError("This installation package cannot be installed by the Windows Installer service.\n"
                               "You must install a Windows service pack that contains a newer version of the "
                               "Windows Installer service.");
        case ERROR_INSTALL_PLATFORM_UNSUPPORTED:
            return ReportError("This installation package is not supported on this platform.");
        default:
            return reportInstallFailure(uResult);
    }
}

int RunWindowsInstaller(const char *pszPackage, const char *pszMsiArguments, const char *pszLogPath)
{
    INSTALLUILEVEL const enmLevel = g_InstallerState.silentMode ? INSTALLUILEVEL_NONE : INSTALLUILEVEL_FULL;
    if (MsiSetInternalUI(enmLevel, nullptr) == 0)
        return ReportError("Internal error: MsiSetInternalUI failed.");

    if (pszLogPath)
    {
        int const rcLog = enableLog(pszLogPath);
        if (rcLog != 0)
            return rcLog;
    }

    INITCOMMONCONTROLSEX const Controls = { sizeof(INITCOMMONCONTROLSEX), COMMON_CONTROL_CLASSES };
    InitCommonControlsEx(&Controls);

    RTUTF16 *pwszPackage = nullptr;
    RTSTATUS rc = RTStrToUtf16(pszPackage, &pwszPackage);
    if (RT_FAILURE(rc))
        return ReportError("RTStrToUtf16 failed on '%s': %Rrc", pszPackage, rc);
    RTUTF16 *pwszArguments = nullptr;
    rc = RTStrToUtf16(pszMsiArguments, &pwszArguments);
    if (RT_FAILURE(rc))
    {
        RTUtf16Release(pwszPackage);
        return ReportError("RTStrToUtf16 failed on '%s': %Rrc", pszMsiArguments, rc);
    }

    UINT const uResult = MsiInstallProductW(pwszPackage, pwszArguments);
    RTUtf16Release(pwszArguments);
    RTUtf16Release(pwszPackage);
    return MapInstallerResult(uResult, pszPackage);
}
