/* The installer's command line: the option table, the help text and the parsing loop that
 * fills the run settings and the installer state. */
#include "NimbStub.h"
#include "rt/format.h"
#include "rt/getopt.h"
#include "rt/path.h"
#include "rt/string.h"

InstallerState g_InstallerState;

namespace {
/** Option ids that are not letters. */
constexpr int32_t OPT_MSI_LOG_FILE = 1000;

/** Every option name, each once: a name that is the tail of another one ("-extract" of
 *  "--extract") is found inside it. */
constexpr char g_achOptionNames[] =
    "--extract\0/extract\0--silent\0/silent\0--no-silent-cert\0/no-silent-cert\0"
    "--no-install-timestamp-ca\0--force-install-timestamp-ca\0--logging\0--msi-log-file\0-msilogfile\0"
    "/logging\0--path\0/path\0--msiparams\0--msi-prop\0--reinstall\0/reinstall\0--ignore-reboot\0"
    "--verbose\0/verbose\0--version\0/version\0--help\0/help\0/?";

/** Not constexpr: reaching it stops the compilation of a table row whose name is missing. */
void optionNameMissing()
{
}

/** The offset of @p pszName in g_achOptionNames; a name that is not there does not compile. */
consteval uint16_t optionName(const char *pszName)
{
    size_t cchName = 0;
    while (pszName[cchName])
        cchName++;
    for (size_t off = 0; off + cchName < sizeof(g_achOptionNames); off++)
    {
        size_t i = 0;
        while (i <= cchName && g_achOptionNames[off + i] == pszName[i])
            i++;
        if (i > cchName)
            return static_cast<uint16_t>(off);
    }
    optionNameMissing();
    return 0;
}

/** One row of the option table, an RTOPTDESC with its name as an offset: a third of the
 *  size, and no address to relocate. Every option takes no value or one string. */
struct CommandLineOption
{
    uint16_t offName;
    uint16_t iId   : 15;
    uint16_t fKind : 1;
};
static_assert(sizeof(CommandLineOption) == 4 && sizeof(g_achOptionNames) <= UINT16_MAX, "compact rows");
static_assert(OPTVAL_NONE == 0 && OPTVAL_STRING == 1 && OPT_MSI_LOG_FILE < 0x8000, "kinds and ids fit");

/* The letter ids also work as one-letter options ("-x", "-s", ...). */
constexpr CommandLineOption g_aOptions[COMMAND_LINE_OPTION_COUNT] =
{
    { optionName("--extract"),                  'x', OPTVAL_NONE },
    { optionName("-extract"),                   'x', OPTVAL_NONE },
    { optionName("/extract"),                   'x', OPTVAL_NONE },
    { optionName("--silent"),                   's', OPTVAL_NONE },
    { optionName("-silent"),                    's', OPTVAL_NONE },
    { optionName("/silent"),                    's', OPTVAL_NONE },
    { optionName("--no-silent-cert"),           'c', OPTVAL_NONE },
    { optionName("-no-silent-cert"),            'c', OPTVAL_NONE },
    { optionName("/no-silent-cert"),            'c', OPTVAL_NONE },
    { optionName("--no-install-timestamp-ca"),  't', OPTVAL_NONE },
    { optionName("--force-install-timestamp-ca"), 'T', OPTVAL_NONE },
    { optionName("--logging"),                  'l', OPTVAL_NONE },
    { optionName("-logging"),                   'l', OPTVAL_NONE },
    { optionName("--msi-log-file"),             OPT_MSI_LOG_FILE, OPTVAL_STRING },
    { optionName("-msilogfile"),                OPT_MSI_LOG_FILE, OPTVAL_STRING },
    { optionName("/logging"),                   'l', OPTVAL_NONE },
    { optionName("--path"),                     'p', OPTVAL_STRING },
    { optionName("-path"),                      'p', OPTVAL_STRING },
    { optionName("/path"),                      'p', OPTVAL_STRING },
    { optionName("--msiparams"),                'm', OPTVAL_STRING },
    { optionName("-msiparams"),                 'm', OPTVAL_STRING },
    { optionName("--msi-prop"),                 'P', OPTVAL_STRING },
    { optionName("--reinstall"),                'f', OPTVAL_NONE },
    { optionName("-reinstall"),                 'f', OPTVAL_NONE },
    { optionName("/reinstall"),                 'f', OPTVAL_NONE },
    { optionName("--ignore-reboot"),            'r', OPTVAL_NONE },
    { optionName("--verbose"),                  'v', OPTVAL_NONE },
    { optionName("-verbose"),                   'v', OPTVAL_NONE },
    { optionName("/verbose"),                   'v', OPTVAL_NONE },
    { optionName("--version"),                  'V', OPTVAL_NONE },
    { optionName("-version"),                   'V', OPTVAL_NONE },
    { optionName("/version"),                   'V', OPTVAL_NONE },
    { optionName("--help"),                     'h', OPTVAL_NONE },
    { optionName("-help"),                      'h', OPTVAL_NONE },
    { optionName("/help"),                      'h', OPTVAL_NONE },
    { optionName("/?"),                         'h', OPTVAL_NONE },
};
static_assert(g_aOptions[COMMAND_LINE_OPTION_COUNT - 1].offName, "a row for every option");

constexpr RTOPTDESC optionDesc(const CommandLineOption &Option)
{
    return { &g_achOptionNames[Option.offName], Option.iId, Option.fKind };
}

/** The descriptors of g_aOptions. */
struct CommandLineOptionDescs
{
    RTOPTDESC a[COMMAND_LINE_OPTION_COUNT];

    constexpr CommandLineOptionDescs() : a()
    {
        for (uint32_t i = 0; i < COMMAND_LINE_OPTION_COUNT; i++)
            a[i] = optionDesc(g_aOptions[i]);
    }
};

constexpr CommandLineOptionDescs g_CommandLineOptionDescs;
} /* namespace */

/* Built at compile time for whoever needs the table whole; the installer builds its own
   copy on the stack (ParseCommandLine). */
const RTOPTDESC (&g_aCommandLineOptions)[COMMAND_LINE_OPTION_COUNT] = g_CommandLineOptionDescs.a;

namespace {

/** The help text; its arguments are the title, the four version numbers and the program
 *  name twice. */
constexpr char g_szHelpFormat[] =
    "-- %s v%u.%u.%ur%u --\n"
    "\n"
    "Command Line Parameters:\n"
    "\n"
    "--extract\n"
    "    Extract file contents to temporary directory\n"
    "--logging\n"
    "    Enables MSI installer logging (to extract path)\n"
    "--msi-log-file <path/to/file>\n"
    "    Sets MSI logging to <file>\n"
    "--msiparams <parameters>\n"
    "    Specifies extra parameters for the MSI installers\n"
    "    double quoted arguments must be doubled and put\n"
    "    in quotes: --msiparams \"PROP=\"\"a b c\"\"\"\n"
    "--msi-prop <prop> <value>\n"
    "    Adds <prop>=<value> to the MSI parameters,\n"
    "    quoting the property value if necessary\n"
    "--no-silent-cert\n"
    "    Do not install Nimbrel Certificate automatically\n"
    "    when --silent option is specified\n"
    "--path\n"
    "    Sets the path of the extraction directory\n"
    "--reinstall\n"
    "    Forces Nimbrel to get re-installed\n"
    "--ignore-reboot\n"
    "   Do not set exit code to 3010 if a reboot is required\n"
    "--silent\n"
    "   Enables silent mode installation\n"
    "--version\n"
    "   Displays version number and exit\n"
    "-?, -h, --help\n"
    "   Displays this help text and exit\n"
    "\n"
    "Examples:\n"
    "  %s --msiparams \"INSTALLDIR=\"\"C:\\Program Files\\Nimbrel\"\"\"\n"
    "  %s --extract -path C:\\Nimb";

/** The two command-line errors end alike; the ending is their last argument, kept once. */
constexpr char g_szUnknownOption[] = "Unknown option \"%s\"\n%s";
constexpr char g_szParsingError[] = "Parameter parsing error: %Rrc\n%s";
constexpr char g_szSeeHelp[] =
    "Please refer to the command line help by specifying \"-?\"\n"
    "to get more information.";
constexpr char g_szOutOfSpace[] = "Out of space for MSI parameters and properties";

constexpr char g_szMsiReinstall[] = "REINSTALLMODE=vomus REINSTALL=ALL";

bool hasBlank(const char *psz)
{
    for (; *psz; psz++)
        if (*psz == ' ' || *psz == '\t' || *psz == '\n' || *psz == '\r')
            return true;
    return false;
}

/** Appends one item to the MSI parameters, a space first unless they are empty. */
RTSTATUS appendMsiItem(RunSettings *pSettings, const char *pszItem)
{
    if (pSettings->msiArguments[0])
    {
        RTSTATUS rc = RTStrAppendBounded(pSettings->msiArguments, sizeof(pSettings->msiArguments), " ");
        if (RT_FAILURE(rc))
            return rc;
    }
    return RTStrAppendBounded(pSettings->msiArguments, sizeof(pSettings->msiArguments), pszItem);
}

/** Sets a path field to the absolute form of @p pszValue; an empty value clears it. */
RTSTATUS setPathField(char *pszField, const char *pszValue)
{
    if (!*pszValue)
    {
        pszField[0] = '\0';
        return INF_SUCCESS;
    }
    return RTPathAbsolute(pszValue, pszField, PATH_FIELD_SIZE);
}

/** --msi-prop NAME VALUE: appends NAME=VALUE, the value quoted when it holds blanks. */
int addMsiProperty(RTOPTPARSER *pParser, const char *pszName, RunSettings *pSettings)
{
    if (hasBlank(pszName))
        return ReportUsageError("The first argument to --msi-prop must not contain spaces: %s", pszName);
    RTOPTVALUE Value;
    RTSTATUS rc = RTGetOptTakeValue(pParser, &Value, OPTVAL_STRING);
    if (rc == ERR_OPTION_VALUE_MISSING)
        return ReportUsageError("--msi-prop takes two arguments, the 2nd is missing");
    if (RT_FAILURE(rc))
        return ReportUsageError("Failed to get 2nd --msi-prop argument: %Rrc", rc);

    size_t const cchUsed = __builtin_strlen(pSettings->msiArguments);
    ptrdiff_t const cch = RTStrPrintBufEx(&pSettings->msiArguments[cchUsed], sizeof(pSettings->msiArguments) - cchUsed,
                                          hasBlank(Value.psz) ? "%s%s=\"%s\"" : "%s%s=%s",
                                          cchUsed ? " " : "", pszName, Value.psz);
    if (cch < 2)
        return ReportUsageError(g_szOutOfSpace);
    return PARSE_CONTINUE;
}

/** A result the loop does not handle: an error, a stray argument or an unexpected id. */
int reportParseError(int rcGetOpt, const RTOPTVALUE *pValue)
{
    if (g_InstallerState.silentMode)
        return RTGetOptReportError(rcGetOpt, pValue);
    if (rcGetOpt == ERR_OPTION_UNKNOWN)
        return ReportUsageError(g_szUnknownOption, pValue->psz, g_szSeeHelp);
    return ReportUsageError(g_szParsingError, rcGetOpt, g_szSeeHelp);
}

} /* namespace */

void InitRunSettings(RunSettings *pSettings)
{
    *pSettings = RunSettings{};
    pSettings->addCertificates = true;
}

int ParseCommandLine(int argc, char **argv, RunSettings *pSettings)
{
    /* The descriptors from the compact rows: the rows are all the image holds. */
    RTOPTDESC aDescs[COMMAND_LINE_OPTION_COUNT];
    for (uint32_t i = 0; i < COMMAND_LINE_OPTION_COUNT; i++)
        aDescs[i] = optionDesc(g_aOptions[i]);
    RTOPTPARSER Parser;
    RTSTATUS rc = RTGetOptInit(&Parser, argc, argv, aDescs, COMMAND_LINE_OPTION_COUNT, 1, 0);
    if (RT_FAILURE(rc))
        return ReportError("RTGetOptInit failed: %Rrc", rc);

    RTOPTVALUE Value;
    int rcGetOpt;
    while ((rcGetOpt = RTGetOptNext(&Parser, &Value)) != 0)
    {
        switch (rcGetOpt)
        {
            case OPT_MSI_LOG_FILE:
                rc = setPathField(pSettings->msiLogPath, Value.psz);
                if (RT_FAILURE(rc))
                    return ReportUsageError("MSI log file path is too long (%Rrc)", rc);
                break;

            case INF_OPTION_PLAIN_ARGUMENT:
                /* Words after the MSI parameters belong to them: --msiparams A=1 B=2. */
                if (!pSettings->msiArguments[0])
                    return reportParseError(rcGetOpt, &Value);
                if (RT_FAILURE(appendMsiItem(pSettings, Value.psz)))
                    return ReportUsageError(g_szOutOfSpace);
                break;

            case 'x':
                pSettings->onlyExtract = true;
                break;
            case 's':
                g_InstallerState.silentMode = true;
                break;
            case 'c':
                pSettings->addCertificates = false;
                break;
            case 't':
            case 'T':
                break;
            case 'l':
                pSettings->msiLogging = true;
                break;
            case 'v':
                g_InstallerState.verboseLevel++;
                break;
            case 'r':
                pSettings->ignoreRebootCode = true;
                break;

            case 'p':
                rc = setPathField(pSettings->extractionDir, Value.psz);
                if (RT_FAILURE(rc))
                    return ReportUsageError("Extraction path is too long (%Rrc)", rc);
                break;

            case 'm':
                if (RT_FAILURE(appendMsiItem(pSettings, Value.psz)))
                    return ReportUsageError(g_szOutOfSpace);
                break;
            case 'f':
                if (RT_FAILURE(appendMsiItem(pSettings, g_szMsiReinstall)))
                    return ReportUsageError(g_szOutOfSpace);
                break;
            case 'P':
            {
                int const rcProp = addMsiProperty(&Parser, Value.psz, pSettings);
                if (rcProp != PARSE_CONTINUE)
                    return rcProp;
                break;
            }

            case 'V':
                ReportInfo("Version: %u.%u.%ur%u", NIMB_VERSION_MAJOR, NIMB_VERSION_MINOR, NIMB_VERSION_BUILD, NIMB_VERSION_REVISION);
                return 0;
            case 'h':
                ReportInfo(g_szHelpFormat, NIMB_PRODUCT_TITLE, NIMB_VERSION_MAJOR, NIMB_VERSION_MINOR, NIMB_VERSION_BUILD,
                           NIMB_VERSION_REVISION, argv[0], argv[0]);
                return 0;

            default:
                return reportParseError(rcGetOpt, &Value);
        }
    }
    return PARSE_CONTINUE;
}
