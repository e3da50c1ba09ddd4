/* The installer stub's shared declarations: the run settings, the process-wide installer
 * state, the option table and command-line parser, and the reporting functions. */
#pragma once
#include "rt/types.h"
#include "rt/status.h"
#include "rt/getopt.h"
#include "NimbStubVersion.h"
#include <windows.h>

/** Sizes of the text fields of RunSettings, terminators included. */
inline constexpr size_t PATH_FIELD_SIZE = 4100;
inline constexpr size_t MSI_ARGUMENTS_SIZE = 4096;

/** What the command line asks for; lives in main for the whole run. */
struct RunSettings
{
    /** Directory to extract into; empty: a temporary directory is chosen. */
    char extractionDir[PATH_FIELD_SIZE];
    /** Windows Installer's command line: space-separated NAME=value items. */
    char msiArguments[MSI_ARGUMENTS_SIZE];
    /** Windows Installer log file; empty: none, or the default name with logging on. */
    char msiLogPath[PATH_FIELD_SIZE];
    /** Extract, report where to and stop: nothing installed, nothing removed. */
    bool onlyExtract;
    /** Add the embedded certificate to the trusted-publisher store (silent runs only). */
    bool addCertificates;
    /** Windows Installer writes a log (to msiLogPath, or a default name). */
    bool msiLogging;
    /** Turn a final 3010 (reboot required) into 0. */
    bool ignoreRebootCode;
};

/** The links of the clean-up list: a circular, doubly linked list whose anchor is empty
 *  when both links point at the anchor itself. */
struct CleanupLink
{
    CleanupLink *next;
    CleanupLink *previous;
};

/** The settings every part of the run reads without being handed a record. */
struct InstallerState
{
    /** No windows: messages go to the standard streams, Windows Installer shows no UI. */
    bool     silentMode;
    /** Number of --verbose options seen; above 0 a console shows the run summary. */
    uint32_t verboseLevel;
    /** Everything the run has put on disk, newest first (NimbStubCleanup.h). */
    CleanupLink cleanupList;
};

extern InstallerState g_InstallerState;

/** Fills @p pSettings with the defaults: empty texts, certificates on, all else off. */
void InitRunSettings(RunSettings *pSettings);

/** Every accepted form of every option, in the order they are searched. */
inline constexpr uint32_t COMMAND_LINE_OPTION_COUNT = 36;
extern const RTOPTDESC (&g_aCommandLineOptions)[COMMAND_LINE_OPTION_COUNT];

/** ParseCommandLine's result when the run goes on; any other result is the exit code. */
inline constexpr int PARSE_CONTINUE = -1;

/** Turns the arguments into @p pSettings and g_InstallerState, reporting --help, --version
 *  and every command-line error. @returns PARSE_CONTINUE, or the exit code that ends the
 *  run now (0 after help or version, 1 when the parser cannot be set up, 2 after an error). */
int ParseCommandLine(int argc, char **argv, RunSettings *pSettings);

/** Prints the five lines of the run summary on standard output (--verbose). */
void PrintRunSummary(const RunSettings *pSettings);

/** The user-interface calls the messages make. Tests point them elsewhere. */
struct MessageBoxCalls
{
    int  (WINAPI *pfnMessageBoxW)(HWND hwndOwner, LPCWSTR pwszText, LPCWSTR pwszTitle, UINT fStyle);
    int  (WINAPI *pfnMessageBoxA)(HWND hwndOwner, LPCSTR pszText, LPCSTR pszTitle, UINT fStyle);
    HWND (WINAPI *pfnGetDesktopWindow)(void);
};
extern MessageBoxCalls g_MessageBoxCalls;

/** Message box styles: the error icon and the information icon, each with an OK button. */
inline constexpr UINT MSGBOX_ERROR = MB_OK | MB_ICONERROR;
inline constexpr UINT MSGBOX_INFO  = MB_OK | MB_ICONINFORMATION;
static_assert(MSGBOX_ERROR == 0x10 && MSGBOX_INFO == 0x40, "box styles");

/* The reporting functions. Each formats with the runtime's format engine. Interactive runs
 * show message boxes; silent runs write to the standard streams. */

/** Shows an error. @returns 1. */
int  ReportError(const char *pszFormat, ...);
/** Shows information; an empty text is still shown. */
void ReportInfo(const char *pszFormat, ...);
/** Shows a command-line error. @returns 2. */
int  ReportUsageError(const char *pszFormat, ...);
/** Writes "error: <text>" and a line feed to standard error in every mode. @returns 1. */
int  ConsoleError(const char *pszFormat, ...);
/** As ConsoleError. @returns @p rc, so that a failure is reported and passed on at once. */
RTSTATUS ConsoleErrorRc(RTSTATUS rc, const char *pszFormat, ...);
/** As ConsoleError. @returns the number of characters formatted. */
int  ConsoleErrorLen(const char *pszFormat, ...);
