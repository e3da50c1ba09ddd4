/* The installer's command line: each case runs the parsing loop over one command line and
 * compares the whole outcome (result, boxes, stream output, settings) rendered as text. */
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <vector>
#include "rt/format.h"
#include "rt/path.h"
#include "process-runner.h"
#include "stub-test-support.h"
#include "stream-capture.h"
#include "runtime-text.h"
#include "stub-help-text.h"

namespace {

std::string VersionText()
{
    return NIMB_VERSION_TEXT;
}

struct Outcome
{
    int         rc;
    RunSettings Settings;
    std::string strText;    /**< everything rendered */
};

/** Runs the parsing loop on "NimbStub" plus @p aArgs. Reports are rendered as
 *  box-error[..], box-info[..], err[..], out[..]; then, if the run would go on, the
 *  settings that differ from the defaults. */
Outcome Parse(const std::vector<std::string> &aArgs)
{
    BoxRecorder Rec;
    /* One pair of files for every case: streams on paths stay open until process exit. */
    static StreamCapture s_Err(&g_pStreamStdErr), s_Out(&g_pStreamStdOut);
    std::string const strOldErr = s_Err.TakeNew(), strOldOut = s_Out.TakeNew();
    EXPECT_EQ(strOldErr + strOldOut, "") << "written outside a case";
    std::vector<std::string> aStore = { "NimbStub" };
    aStore.insert(aStore.end(), aArgs.begin(), aArgs.end());
    std::vector<char *> apszArgv;
    for (auto &str : aStore)
        apszArgv.push_back(str.data());
    apszArgv.push_back(nullptr);

    Outcome R;
    InitRunSettings(&R.Settings);
    R.rc = ParseCommandLine(static_cast<int>(aStore.size()), apszArgv.data(), &R.Settings);

    std::string &s = R.strText;
    s = R.rc == PARSE_CONTINUE ? "go" : "exit " + std::to_string(R.rc);
    for (const auto &Box : Rec.Calls())
    {
        EXPECT_EQ(Box.strTitle, "Nimbrel Installer");
        EXPECT_EQ(Box.hwndOwner, g_hwndFakeDesktop);
        s += Box.fStyle == 0x10 ? " box-error[" : Box.fStyle == 0x40 ? " box-info[" : " box-other[";
        s += Box.strText + "]";
    }
    std::string const strErr = s_Err.TakeNew(), strOut = s_Out.TakeNew();
    if (!strErr.empty())
        s += " err[" + strErr + "]";
    if (!strOut.empty())
        s += " out[" + strOut + "]";
    if (R.rc == PARSE_CONTINUE)
    {
        const RunSettings &S = R.Settings;
        if (S.onlyExtract)                  s += " extract";
        if (!S.addCertificates)             s += " no-cert";
        if (S.msiLogging)                   s += " logging";
        if (S.ignoreRebootCode)             s += " ignore-reboot";
        if (g_InstallerState.silentMode)    s += " silent";
        if (g_InstallerState.verboseLevel)  s += " verbose=" + std::to_string(g_InstallerState.verboseLevel);
        if (S.extractionDir[0])             s += std::string(" path[") + S.extractionDir + "]";
        if (S.msiLogPath[0])                s += std::string(" log[") + S.msiLogPath + "]";
        if (S.msiArguments[0])              s += std::string(" msi[") + S.msiArguments + "]";
    }
    return R;
}

struct Case
{
    std::vector<std::string> aArgs;
    std::string strExpected;
};

/** Long texts cut down for failure messages. */
std::string Shorten(const std::string &str)
{
    return str.size() <= 200 ? str : str.substr(0, 90) + "...(" + std::to_string(str.size()) + " bytes)..." + str.substr(str.size() - 90);
}

void RunCases(const std::vector<Case> &aCases)
{
    for (const auto &C : aCases)
    {
        std::string strArgs;
        for (const auto &str : C.aArgs)
            strArgs += " '" + Shorten(str) + "'";
        std::string const strActual = Parse(C.aArgs).strText;
        EXPECT_TRUE(strActual == C.strExpected) << "arguments:" << strArgs << "\n  actual:   " << Shorten(strActual)
                                                << "\n  expected: " << Shorten(C.strExpected);
    }
}

const std::string g_strUnknown1 = "Unknown option \"";
const std::string g_strUnknown2 = "\"\nPlease refer to the command line help by specifying \"-?\"\nto get more information.";
std::string UnknownText(const std::string &strArg)
{
    return g_strUnknown1 + strArg + g_strUnknown2;
}
std::string ParsingErrorText(RTSTATUS rc)
{
    return StatusText("Parameter parsing error: %Rrc\n", rc)
         + "Please refer to the command line help by specifying \"-?\"\nto get more information.";
}

TEST(CmdLine, SettingsFromEachOption)
{
    RunCases({
        { {},                                             "go" },
        { { "--extract" },                                "go extract" },
        { { "-extract", "/extract", "-x" },               "go extract" },
        { { "--silent" },                                 "go silent" },
        { { "-silent" }, "go silent" }, { { "/silent" }, "go silent" }, { { "-s" }, "go silent" },
        { { "--no-silent-cert" },                         "go no-cert" },
        { { "-no-silent-cert", "/no-silent-cert", "-c" }, "go no-cert" },
        { { "--no-install-timestamp-ca", "--force-install-timestamp-ca", "-t", "-T" }, "go" },
        { { "--logging" }, "go logging" }, { { "-logging" }, "go logging" }, { { "/logging" }, "go logging" },
        { { "-l" },                                       "go logging" },
        { { "--ignore-reboot" }, "go ignore-reboot" },    { { "-r" }, "go ignore-reboot" },
        { { "--verbose" },                                "go verbose=1" },
        { { "-verbose", "/verbose", "-v", "--verbose" },  "go verbose=4" },
        { { "-xsv" },                                     "go extract silent verbose=1" },
        { { "\xe2\x80\x93\xe2\x80\x93silent" },           "go silent" },   /* en dashes */
        { { "--path", "C:\\a" },                          "go path[C:\\a]" },
        { { "--path=C:\\a", "-path:C:\\b" },              "go path[C:\\b]" },
        { { "/path", "C:\\x\\..\\y" },                    "go path[C:\\y]" },
        { { "-p", "C:\\a", "--path", "" },                "go" },          /* empty clears */
        { { "-pC:\\z" },                                  "go path[C:\\z]" },
        { { "--msi-log-file", "C:\\l.txt" },              "go log[C:\\l.txt]" },
        { { "-msilogfile=C:\\m.txt" },                    "go log[C:\\m.txt]" },
        { { "--msi-log-file", "C:\\l.txt", "--msi-log-file=" }, "go" },
    });
}

TEST(CmdLine, MsiParametersAccumulateInOrder)
{
    RunCases({
        { { "--msiparams", "A=1" },                       "go msi[A=1]" },
        { { "--msiparams", "A=1", "B=2", "C" },           "go msi[A=1 B=2 C]" },
        { { "-msiparams", "A=\"x y\"", "-m", "B=2" },     "go msi[A=\"x y\" B=2]" },
        { { "--msiparams", "X=1", "--reinstall" },        "go msi[X=1 REINSTALLMODE=vomus REINSTALL=ALL]" },
        { { "/reinstall" },                               "go msi[REINSTALLMODE=vomus REINSTALL=ALL]" },
        { { "-f", "--msiparams", "X=1" },                 "go msi[REINSTALLMODE=vomus REINSTALL=ALL X=1]" },
        { { "--msi-prop", "A", "b c" },                   "go msi[A=\"b c\"]" },
        { { "--msi-prop", "A", "b" },                     "go msi[A=b]" },
        { { "--msi-prop", "A", "b\tc" },                  "go msi[A=\"b\tc\"]" },
        { { "--msi-prop", "A", "x\"y" },                  "go msi[A=x\"y]" },   /* quotes stay as they are */
        { { "--msi-prop", "A", "" },                      "go msi[A=]" },
        { { "--msi-prop=A", "--silent" },                 "go msi[A=--silent]" },   /* any second value */
        { { "-m", "X=1", "--msi-prop", "A", "b", "-P", "C", "d e" }, "go msi[X=1 A=b C=\"d e\"]" },
        { { "--msiparams", "A=1", "--", "--silent" },     "go msi[A=1 --silent]" },
    });
}

TEST(CmdLine, HelpAndVersionEndTheRunWithoutLookingFurther)
{
    std::string const strHelp = ExpectedHelpText("NimbStub", VersionText());
    std::vector<Case> aCases;
    for (const char *pszForm : { "-?", "-h", "/?", "--help", "-help", "/help" })
        aCases.push_back({ { pszForm, "--bogus" }, "exit 0 box-info[" + strHelp + "]" });
    for (const char *pszForm : { "-V", "/version", "--version", "-version" })
        aCases.push_back({ { pszForm, "stray" }, "exit 0 box-info[Version: " + VersionText() + "]" });
    aCases.push_back({ { "--silent", "--help" }, "exit 0 out[" + ExpectedHelpText("NimbStub", VersionText(), "\r\n") + "\r\n]" });
    aCases.push_back({ { "-s", "-V" },            "exit 0 out[Version: " + VersionText() + "\r\n]" });
    aCases.push_back({ { "-sh" },                 "exit 0 out[" + ExpectedHelpText("NimbStub", VersionText(), "\r\n") + "\r\n]" });
    RunCases(aCases);
}

TEST(CmdLine, ErrorsInteractive)
{
    std::string const strLong(5000, 'a');
    RTSTATUS const rcTooLong = [] {
        char sz[PATH_FIELD_SIZE];
        return RTPathAbsolute(std::string(5000, 'a').c_str(), sz, sizeof(sz));
    }();
    ASSERT_LT(rcTooLong, 0);
    RunCases({
        { { "--bogus" },                    "exit 2 box-error[" + UnknownText("--bogus") + "]" },
        { { "-q" },                         "exit 2 box-error[" + UnknownText("-q") + "]" },
        { { "---" },                        "exit 2 box-error[" + UnknownText("---") + "]" },
        { { "-" },                          "exit 2 box-error[" + UnknownText("-") + "]" },
        { { "--bogus", "--silent" },        "exit 2 box-error[" + UnknownText("--bogus") + "]" },
        { { "stray" },                      "exit 2 box-error[" + ParsingErrorText(INF_OPTION_PLAIN_ARGUMENT) + "]" },
        { { "--", "--silent" },             "exit 2 box-error[" + ParsingErrorText(INF_OPTION_PLAIN_ARGUMENT) + "]" },
        { { "--path" },                     "exit 2 box-error[" + ParsingErrorText(ERR_OPTION_VALUE_MISSING) + "]" },
        { { "-x", "--msi-prop" },           "exit 2 box-error[" + ParsingErrorText(ERR_OPTION_VALUE_MISSING) + "]" },
        { { "--pathX" },                    "exit 2 box-error[" + UnknownText("--pathX") + "]" },
        { { "--path", strLong },            "exit 2 box-error[" + StatusText("Extraction path is too long (%Rrc)", rcTooLong) + "]" },
        { { "--msi-log-file", strLong },    "exit 2 box-error[" + StatusText("MSI log file path is too long (%Rrc)", rcTooLong) + "]" },
        { { "--msi-prop", "A B", "c" },     "exit 2 box-error[The first argument to --msi-prop must not contain spaces: A B]" },
        { { "--msi-prop", "A\r", "c" },     "exit 2 box-error[The first argument to --msi-prop must not contain spaces: A\r]" },
        { { "--msi-prop", "A" },            "exit 2 box-error[--msi-prop takes two arguments, the 2nd is missing]" },
    });
}

TEST(CmdLine, ErrorsSilentGoToStandardError)
{
    std::string const strPrefix = "NimbStub.exe: error: ";
    RunCases({
        { { "--silent", "--bogus" },        "exit 2 err[" + strPrefix + "Unknown option: '--bogus'\r\n]" },
        { { "-s", "stray" },                "exit 2 err[" + strPrefix + "Invalid parameter: stray\r\n]" },
        { { "-s", "--path" },               "exit 2 err[" + strPrefix + StatusText("--path: %Rrs", ERR_OPTION_VALUE_MISSING) + "\r\n]" },
        { { "-sq" },                        "exit 2 err[" + strPrefix + "Unknown option: 'q'\r\n]" },
        { { "-s", "--msi-prop", "A B", "c" },
          "exit 2 err[" + strPrefix + "The first argument to --msi-prop must not contain spaces: A B\r\n]" },
        { { "-s", "--msi-prop", "A" },      "exit 2 err[" + strPrefix + "--msi-prop takes two arguments, the 2nd is missing\r\n]" },
    });
}

TEST(CmdLine, MsiParametersUpTo4095Bytes)
{
    std::string const strOut = "exit 2 box-error[Out of space for MSI parameters and properties]";
    std::string const s4095(4095, 'A'), s4096(4096, 'A'), s4093(4093, 'A'), s4094(4094, 'A');
    RunCases({
        { { "--msiparams", s4095 },                     "go msi[" + s4095 + "]" },
        { { "--msiparams", s4096 },                     strOut },
        { { "--msiparams", s4093, "x" },                "go msi[" + s4093 + " x]" },
        { { "--msiparams", s4094, "x" },                strOut },
        { { "--msiparams", s4094, "-m", "x" },          strOut },
        { { "--msiparams", s4095, "--reinstall" },      strOut },
        { { "--msiparams", s4095.substr(0, 4089), "--msi-prop", "N", "abc" }, "go msi[" + s4095.substr(0, 4089) + " N=abc]" },
        { { "--msiparams", s4095.substr(0, 4089), "--msi-prop", "N", "abcd" }, strOut },
        { { "--msiparams", s4095.substr(0, 4088), "--msi-prop", "N", "a b" }, strOut },
    });
    /* A name and a value that are both empty give a one-character item, which counts as
       not fitting. */
    EXPECT_EQ(Parse({ "--msi-prop", "", "" }).strText, strOut);
}

TEST(CmdLine, RelativePathsBecomeAbsoluteAgainstTheCurrentDirectory)
{
    wchar_t wszCwd[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryW(MAX_PATH, wszCwd), 0u);
    std::string strCwd = Narrow(wszCwd);
    if (strCwd.back() != '\\')
        strCwd += '\\';
    Outcome const R = Parse({ "--path", "sub/dir", "--msi-log-file", "..\\log.txt" });
    ASSERT_EQ(R.rc, PARSE_CONTINUE) << R.strText;
    EXPECT_EQ(std::string(R.Settings.extractionDir), strCwd + "sub\\dir");
    char szParent[PATH_FIELD_SIZE];
    ASSERT_EQ(RTPathAbsolute("..", szParent, sizeof(szParent)), INF_SUCCESS);
    std::string strLog = szParent;
    if (strLog.back() != '\\')
        strLog += '\\';
    EXPECT_EQ(std::string(R.Settings.msiLogPath), strLog + "log.txt");
}

/* Random command lines from option forms, values and odd bytes: the loop must end with one
   of its results, leave every text field terminated within its size, and report errors
   exactly once. */
TEST(CmdLine, RandomCommandLinesNeverMisbehave)
{
    static const char *const s_apszPool[] =
    {
        "--extract", "-x", "/extract", "--silent", "-s", "--no-silent-cert", "-c", "-t", "-T",
        "--logging", "--msi-log-file", "-msilogfile", "--path", "-p", "/path", "--msiparams",
        "-m", "--msi-prop", "-P", "--reinstall", "-f", "--ignore-reboot", "--verbose", "-v",
        "--", "-", "---", "-xsv", "-sP", "--path=", "--path:C:\\x", "A=1", "B=\"a b\"", "word",
        "", " ", "\t", "C:\\dir", "..\\..", "\xe2\x80\x93\xe2\x80\x93silent", "\xff\xfe", "\xc3",
        "-\xe2\x80\x93", "/", "/?x", "--helpx", "-?x",
    };
    std::mt19937 Rng(4711);
    for (int iRun = 0; iRun < 1500; iRun++)
    {
        std::vector<std::string> aArgs(Rng() % 9);
        for (auto &str : aArgs)
        {
            switch (Rng() % 4)
            {
                case 0:
                    str.resize(Rng() % 12);
                    for (auto &ch : str)
                        ch = static_cast<char>(1 + Rng() % 255);
                    break;
                case 1:
                    str.assign(1 + Rng() % 1500, static_cast<char>('A' + Rng() % 26));
                    break;
                default:
                    str = s_apszPool[Rng() % RT_ELEMENTS(s_apszPool)];
                    break;
            }
        }
        Outcome const R = Parse(aArgs);
        ASSERT_TRUE(R.rc == PARSE_CONTINUE || R.rc == 0 || R.rc == 2) << Shorten(R.strText);
        EXPECT_LT(strnlen(R.Settings.extractionDir, PATH_FIELD_SIZE), PATH_FIELD_SIZE);
        EXPECT_LT(strnlen(R.Settings.msiLogPath, PATH_FIELD_SIZE), PATH_FIELD_SIZE);
        EXPECT_LT(strnlen(R.Settings.msiArguments, MSI_ARGUMENTS_SIZE), MSI_ARGUMENTS_SIZE);
        if (R.rc == 2)
            EXPECT_TRUE(R.strText.find(" box-error[") != std::string::npos
                        || R.strText.find(" err[") != std::string::npos) << Shorten(R.strText);
        if (R.rc == PARSE_CONTINUE)
            EXPECT_EQ(R.strText.find("box-"), std::string::npos) << Shorten(R.strText);
    }
}

} /* namespace */
