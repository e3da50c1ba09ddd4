/* The installer's help text as its user sees it, written out independently of the
 * installer's own source so that tests catch any change to it. */
#pragma once
#include <cstring>
#include <string>

/** The help text for a program started as @p strProg, lines joined by @p strEol, with no
 *  line end after the last line. */
inline std::string ExpectedHelpText(const std::string &strProg, const std::string &strVersion,
                                    const std::string &strEol = "\n")
{
    static const char *const s_apszLines[] =
    {
        "-- Nimbrel Installer v@VERSION@ --",
        "",
        "Command Line Parameters:",
        "",
        "--extract",
        "    Extract file contents to temporary directory",
        "--logging",
        "    Enables MSI installer logging (to extract path)",
        "--msi-log-file <path/to/file>",
        "    Sets MSI logging to <file>",
        "--msiparams <parameters>",
        "    Specifies extra parameters for the MSI installers",
        "    double quoted arguments must be doubled and put",
        "    in quotes: --msiparams \"PROP=\"\"a b c\"\"\"",
        "--msi-prop <prop> <value>",
        "    Adds <prop>=<value> to the MSI parameters,",
        "    quoting the property value if necessary",
        "--no-silent-cert",
        "    Do not install Nimbrel Certificate automatically",
        "    when --silent option is specified",
        "--path",
        "    Sets the path of the extraction directory",
        "--reinstall",
        "    Forces Nimbrel to get re-installed",
        "--ignore-reboot",
        "   Do not set exit code to 3010 if a reboot is required",
        "--silent",
        "   Enables silent mode installation",
        "--version",
        "   Displays version number and exit",
        "-?, -h, --help",
        "   Displays this help text and exit",
        "",
        "Examples:",
        "  @PROG@ --msiparams \"INSTALLDIR=\"\"C:\\Program Files\\Nimbrel\"\"\"",
        "  @PROG@ --extract -path C:\\Nimb",
    };
    static_assert(sizeof(s_apszLines) / sizeof(s_apszLines[0]) == 36, "36 lines");
    std::string strText;
    for (size_t i = 0; i < 36; i++)
    {
        if (i > 0)
            strText += strEol;
        std::string strLine = s_apszLines[i];
        for (const char *pszVar : { "@VERSION@", "@PROG@" })
        {
            size_t off = strLine.find(pszVar);
            if (off != std::string::npos)
                strLine.replace(off, strlen(pszVar), pszVar[1] == 'V' ? strVersion : strProg);
        }
        strText += strLine;
    }
    return strText;
}
