/* Process start-up and exit as a program on the runtime sees them: the argument vector
 * built from the exact command line, exit codes, at-exit callbacks and terminators, the
 * start-up's failure reports, the stack protector and the executable path record. */
#include <gtest/gtest.h>
#include "process-runner.h"
#include <windows.h>
#include <cstdio>
#include <vector>

namespace {

std::wstring ProbePath()
{
    return BuildPath("programs/startup-probe.exe");
}

/** What the probe prints for a clean run with these arguments and no extra actions. */
std::string ExpectedOutput(const std::vector<std::string> &args)
{
    std::string out = "init=1 ctor=1 envp=null\nargc=" + std::to_string(args.size()) + "\n";
    for (const std::string &arg : args)
    {
        char szHex[3];
        for (unsigned char ch : arg)
        {
            snprintf(szHex, sizeof(szHex), "%02x", ch);
            out += szHex;
        }
        out += "\n";
    }
    return out;
}

const char g_szExitRoutines[] = "dtor\npreterm\nterm\n";

struct SplitCase
{
    const wchar_t *pwszCmdLine;
    std::vector<std::string> args; /* UTF-8 */
};

TEST(Startup, CommandLineBecomesArgumentVector)
{
    const SplitCase aCases[] = {
        { L"probe a b  c", { "probe", "a", "b", "c" } },
        { L"probe\ta\r\nb  ", { "probe", "a", "b" } },
        { L"probe \"a b\" c", { "probe", "a b", "c" } },
        { L"probe a\"b\"c", { "probe", "abc" } },
        { L"probe \"\"", { "probe", "" } },
        { L"probe \"a\"\"b\"", { "probe", "a\"b" } },
        { L"probe a\\\\\\\"b", { "probe", "a\\\"b" } },
        { L"probe a\\\\\"b c\"", { "probe", "a\\b c" } },
        { L"probe a\\b a\\\\", { "probe", "a\\b", "a\\\\" } },
        { L"\"C:\\Program Files\\probe.exe\" x", { "C:\\Program Files\\probe.exe", "x" } },
        /* Blanks only (an empty line would not do: Wine hands the child the program's
         * path instead). */
        { L"  \t ", {} },
        { L"probe Z\u00fcrich \u65e5\u672c \U0001F600 \u00e9\"\u00e9 \u00e9\"",
          { "probe", "Z\xc3\xbcrich", "\xe6\x97\xa5\xe6\x9c\xac", "\xf0\x9f\x98\x80", "\xc3\xa9\xc3\xa9 \xc3\xa9" } },
    };
    for (const SplitCase &c : aCases)
    {
        SCOPED_TRACE(Narrow(c.pwszCmdLine));
        ProcessResult r = RunProcess(ProbePath(), c.pwszCmdLine);
        ASSERT_TRUE(r.started);
        EXPECT_EQ(r.exitCode, 0u);
        /* Start-up itself prints nothing when all is well. */
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, ExpectedOutput(c.args) + g_szExitRoutines);
    }
}

TEST(Startup, ExitCodeOfMainArrivesWhole)
{
    const struct { const wchar_t *pwszArg; uint32_t uExpected; } aCases[] = {
        { L"exit=0", 0 },
        { L"exit=3010", 3010 },
        { L"exit=256", 256 },
        { L"exit=-1", 0xFFFFFFFFu },
        { L"exit=0x12345678", 0x12345678u },
    };
    for (const auto &c : aCases)
    {
        ProcessResult r = RunProcess(ProbePath(), std::wstring(L"probe ") + c.pwszArg);
        ASSERT_TRUE(r.started);
        EXPECT_EQ(r.exitCode, c.uExpected) << Narrow(c.pwszArg);
        EXPECT_EQ(r.err, "");
    }
}

TEST(Startup, AtExitCallbacksRunNewestFirstThenTerminators)
{
    /* atexit-nested registers, while exit runs, a callback that must run next. The global
     * object's destructor was registered first (before main's own work) and runs last. */
    ProcessResult r = RunProcess(ProbePath(), L"probe atexit=3 atexit-nested exit=7");
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, 7u);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, ExpectedOutput({ "probe", "atexit=3", "atexit-nested", "exit=7" })
                     + "nested outer\nnested inner\natexit 2\natexit 1\natexit 0\n" + g_szExitRoutines);
}

TEST(Startup, CommandLineThatIsNotUtf16IsRefused)
{
    /* main never runs; the terminators still do. */
    for (const wchar_t *pwszCmdLine : { L"probe a\xD800" L"b", L"probe \xDC00" })
    {
        ProcessResult r = RunProcess(ProbePath(), pwszCmdLine);
        ASSERT_TRUE(r.started);
        EXPECT_EQ(r.exitCode, 3u);
        EXPECT_EQ(r.err, "Failed to convert command line to UTF-8: -62\r\n");
        EXPECT_EQ(r.out, "preterm\nterm\n");
    }
}

TEST(Startup, FailingInitialiserEndsWithItsResult)
{
    const struct { const wchar_t *pwszValue; uint32_t uExit; const char *pszErr; } aCases[] = {
        { L"5", 5, "A C static initializor failed (5 (0x5)\r\n" },
        { L"-22", 0xFFFFFFEAu, "A C static initializor failed (4294967274 (0xffffffea)\r\n" },
    };
    for (const auto &c : aCases)
    {
        ProcessOptions opts;
        opts.extraEnv = std::wstring(L"PROBE_INIT_FAIL=") + c.pwszValue;
        ProcessResult r = RunProcess(ProbePath(), L"probe atexit=1", opts);
        ASSERT_TRUE(r.started);
        EXPECT_EQ(r.exitCode, c.uExit);
        EXPECT_EQ(r.err, c.pszErr);
        /* Neither main nor any exit routine runs. */
        EXPECT_EQ(r.out, "");
    }
}

TEST(Startup, StackOverrunIsCaughtWithSeededCookie)
{
    std::string aCookies[2];
    for (std::string &cookie : aCookies)
    {
        ProcessResult r = RunProcess(ProbePath(), L"probe atexit=1 smash");
        ASSERT_TRUE(r.started);
        EXPECT_EQ(r.exitCode, STATUS_STACK_BUFFER_OVERRUN);
        static const std::string s_head = "\r\n\r\n!!Stack cookie corruption!!\r\n\r\nexpected";
        ASSERT_EQ(r.err.size(), s_head.size() + 8 + 2) << r.err;
        EXPECT_EQ(r.err.substr(0, s_head.size()), s_head);
        cookie = r.err.substr(s_head.size(), 8);
        EXPECT_EQ(cookie.find_first_not_of("0123456789abcdef"), std::string::npos) << cookie;
        EXPECT_EQ(r.err.substr(s_head.size() + 8), "\r\n");
        EXPECT_EQ(r.out.find("atexit"), std::string::npos);
        EXPECT_EQ(r.out.find("term"), std::string::npos);
    }
    EXPECT_NE(aCookies[0], "deadbeef");
    EXPECT_NE(aCookies[0], aCookies[1]);
}

/** Runs the probe at @p exe and returns its executable path record lines. */
void ExpectPathRecord(const std::wstring &exe, const std::string &nameUtf8)
{
    ProcessResult r = RunProcess(exe, L"probe path");
    ASSERT_TRUE(r.started);
    ASSERT_EQ(r.exitCode, 0u) << r.err;
    std::string const path = Narrow(exe);
    size_t const offName = path.size() - nameUtf8.size();
    std::string const expected = "path=" + path + "\ndir=" + std::to_string(offName - 1)
                               + " name=" + std::to_string(offName) + " len=" + std::to_string(path.size()) + "\n";
    EXPECT_NE(r.out.find(expected), std::string::npos) << r.out;
}

TEST(Startup, ExecutablePathRecord)
{
    ExpectPathRecord(ProbePath(), "startup-probe.exe");

    /* A copy in a directory and under a name with characters beyond ASCII and beyond the
     * basic plane. */
    std::wstring const dir = BuildPath("e2e-startup-\u00fcml\u00e4ut \U0001F600");
    std::wstring const exe = dir + L"\\pr\u00f6be \u65e5.exe";
    CreateDirectoryW(dir.c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(ProbePath().c_str(), exe.c_str(), FALSE));
    ExpectPathRecord(exe, "pr\xc3\xb6" "be \xe6\x97\xa5.exe");
    DeleteFileW(exe.c_str());
    RemoveDirectoryW(dir.c_str());
}

} /* namespace */
