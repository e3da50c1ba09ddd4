/* The installer's reporting functions: which box or stream gets which text, and what each
 * returns. */
#include <gtest/gtest.h>
#include "stub-test-support.h"
#include "stream-capture.h"
#include <cstring>

namespace {

TEST(Report, InteractiveErrorsAndInformationShowBoxes)
{
    BoxRecorder Rec;
    StreamCapture Err(&g_pStreamStdErr), Out(&g_pStreamStdOut);
    EXPECT_EQ(ReportError("Failed: %d\n%s", -5, "x\xc3\xa9"), 1);
    EXPECT_EQ(ReportUsageError("Bad %s", "--x"), 2);
    ReportInfo("Version: %u", 7u);
    ReportInfo("%s", "");   /* information is shown even when empty */

    auto &Calls = Rec.Calls();
    ASSERT_EQ(Calls.size(), 4u);
    struct { const char *pszText; UINT fStyle; } const s_aExpected[] =
    {
        { "Failed: -5\nx\xc3\xa9", 0x10 }, { "Bad --x", 0x10 }, { "Version: 7", 0x40 }, { "", 0x40 },
    };
    for (size_t i = 0; i < Calls.size(); i++)
    {
        EXPECT_TRUE(Calls[i].fWide);
        EXPECT_EQ(Calls[i].hwndOwner, g_hwndFakeDesktop);
        EXPECT_EQ(Calls[i].strTitle, "Nimbrel Installer");
        EXPECT_EQ(Calls[i].strText, s_aExpected[i].pszText);
        EXPECT_EQ(Calls[i].fStyle, s_aExpected[i].fStyle);
    }
    EXPECT_EQ(Err.Text(), "");
    EXPECT_EQ(Out.Text(), "");
}

TEST(Report, EmptyErrorShowsNothingAndTextThatIsNotUtf8UsesTheNarrowBox)
{
    BoxRecorder Rec;
    EXPECT_EQ(ReportError("%s", ""), 1);
    EXPECT_EQ(ReportUsageError(""), 2);
    EXPECT_TRUE(Rec.Calls().empty());

    EXPECT_EQ(ReportError("bad \xff byte"), 1);
    ASSERT_EQ(Rec.Calls().size(), 1u);
    EXPECT_FALSE(Rec.Calls()[0].fWide);
    EXPECT_EQ(Rec.Calls()[0].strText, "bad \xff byte");
    EXPECT_EQ(Rec.Calls()[0].strTitle, "Nimbrel Installer");
    EXPECT_EQ(Rec.Calls()[0].fStyle, 0x10u);
}

TEST(Report, SilentErrorsGoToStandardErrorAndInformationToStandardOutput)
{
    BoxRecorder Rec;
    g_InstallerState.silentMode = true;
    StreamCapture Err(&g_pStreamStdErr), Out(&g_pStreamStdOut);
    EXPECT_EQ(ReportError("a\n\nb"), 1);
    EXPECT_EQ(ReportUsageError("usage %d\n", 2), 2);
    ReportInfo("line 1\nline 2");
    ReportInfo("");
    EXPECT_TRUE(Rec.Calls().empty());
    EXPECT_EQ(Err.Text(), "NimbStub.exe: error: a\r\n\r\nNimbStub.exe: error: b\r\n"
                          "NimbStub.exe: error: usage 2\r\n");
    EXPECT_EQ(Out.Text(), "line 1\r\nline 2\r\n\r\n");
}

TEST(Report, ConsoleErrorsWriteOnlyThePrefixInEveryMode)
{
    for (bool fSilent : { false, true })
    {
        BoxRecorder Rec;
        g_InstallerState.silentMode = fSilent;
        StreamCapture Err(&g_pStreamStdErr);
        EXPECT_EQ(ConsoleError("#%u: %s", 3u, "gone"), 1);
        EXPECT_EQ(ConsoleErrorRc(ERR_FILE_MISSING, "rc %d", 1), ERR_FILE_MISSING);
        EXPECT_EQ(ConsoleErrorRc(INF_OPTION_PLAIN_ARGUMENT, "x"), INF_OPTION_PLAIN_ARGUMENT);
        EXPECT_EQ(ConsoleErrorLen("%s", "12345"), 13);   /* "error: 12345\n" */
        EXPECT_TRUE(Rec.Calls().empty());
        EXPECT_EQ(Err.Text(), "error: #3: gone\r\nerror: rc 1\r\nerror: x\r\nerror: 12345\r\n");
    }
}

} /* namespace */

namespace {

TEST(Report, RunSummaryFiveLines)
{
    BoxRecorder Rec;
    StreamCapture Out(&g_pStreamStdOut);
    RunSettings Settings;
    InitRunSettings(&Settings);
    std::strcpy(Settings.extractionDir, "C:\\t\\x");
    PrintRunSummary(&Settings);
    g_InstallerState.silentMode = true;
    Settings.addCertificates = false;
    std::strcpy(Settings.msiArguments, "A=1 B=2");
    std::strcpy(Settings.msiLogPath, "C:\\l.txt");
    PrintRunSummary(&Settings);
    EXPECT_EQ(Out.Text(),
              "Extraction path          : C:\\t\\x\r\n"
              "Silent installation      : false\r\n"
              "Certificate installation : true\r\n"
              "Additional MSI parameters: <None>\r\n"
              "Logging to file          : <None>\r\n"
              "Extraction path          : C:\\t\\x\r\n"
              "Silent installation      : true\r\n"
              "Certificate installation : false\r\n"
              "Additional MSI parameters: A=1 B=2\r\n"
              "Logging to file          : C:\\l.txt\r\n");
}

} /* namespace */
