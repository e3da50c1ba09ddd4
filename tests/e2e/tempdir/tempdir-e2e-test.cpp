/* The temporary directory as a process with a given environment finds it: the variables'
 * order, empty values, values that do not fit, relative values and the fallback. */
#include <gtest/gtest.h>
#include <windows.h>
#include "process-runner.h"
#include "rt/status.h"

namespace {

/** Every variable the lookup reads, emptied, followed by @p env (which may set them again). */
std::wstring Env(const std::wstring &env)
{
    return L"ZUNT_TMPDIR=\nTMP=\nTEMP=\nUSERPROFILE=\n" + env;
}

ProcessResult RunProbe(const std::wstring &env, const std::wstring &args = L"", const std::wstring &cwd = L"")
{
    std::wstring exe = BuildPath("programs/tempdir-probe.exe");
    ProcessOptions opts;
    opts.extraEnv = Env(env);
    opts.currentDir = cwd;
    return RunProcess(exe, QuoteArg(exe) + L" " + args, opts);
}

std::string Expect(RTSTATUS rc, const std::string &path)
{
    return std::to_string(rc) + " " + path + "\r\n";
}

} /* namespace */

TEST(TempDirE2E, FirstVariableWithAValueDecides)
{
    static const struct { const wchar_t *pwszEnv; const char *pszExpected; } s_aCases[] = {
        { L"ZUNT_TMPDIR=C:\\z\nTMP=C:\\t\nTEMP=C:\\e\nUSERPROFILE=C:\\u", "C:\\z" },
        { L"TMP=C:\\t\nTEMP=C:\\e\nUSERPROFILE=C:\\u",                      "C:\\t" },
        { L"TEMP=C:\\e\nUSERPROFILE=C:\\u",                                 "C:\\e" },
        { L"USERPROFILE=C:\\u",                                             "C:\\u" },
        { L"",                                                              "/tmp" },
        /* Kept as given when already absolute, forward slashes and a trailing one included. */
        { L"TMP=C:/Some Where/",                                            "C:/Some Where/" },
        { L"TMP=\\\\server\\share\\t",                                      "\\\\server\\share\\t" },
    };
    for (auto const &c : s_aCases)
    {
        ProcessResult r = RunProbe(c.pwszEnv);
        ASSERT_TRUE(r.started);
        EXPECT_EQ(r.out, Expect(INF_SUCCESS, c.pszExpected)) << Narrow(c.pwszEnv);
    }
}

TEST(TempDirE2E, ValueThatDoesNotFitEndsTheSearch)
{
    ProcessResult r = RunProbe(L"ZUNT_TMPDIR=C:\\a-rather-long-directory\nTMP=C:\\t", L"10");
    EXPECT_EQ(r.out, Expect(ERR_BUFFER_TOO_SMALL, ""));
    r = RunProbe(L"", L"4");
    EXPECT_EQ(r.out, Expect(ERR_BUFFER_TOO_SMALL, ""));
    r = RunProbe(L"", L"5");
    EXPECT_EQ(r.out, Expect(INF_SUCCESS, "/tmp"));
}

TEST(TempDirE2E, RelativeValueIsMadeAbsolute)
{
    /* Taken against the current directory at the time of the lookup, so that a later change
       of directory cannot move it. */
    wchar_t wszCwd[MAX_PATH];
    GetTempPathW(MAX_PATH, wszCwd);
    std::wstring cwd = wszCwd;
    while (!cwd.empty() && cwd.back() == L'\\')
        cwd.pop_back();
    ProcessResult r = RunProbe(L"TMP=rel\\tmp", L"", cwd);
    EXPECT_EQ(r.out, Expect(INF_SUCCESS, Narrow(cwd) + "\\rel\\tmp"));
    r = RunProbe(L"TEMP=..", L"", cwd + L"\\");
    std::wstring const parent = cwd.substr(0, cwd.find_last_of(L'\\'));
    EXPECT_EQ(r.out, Expect(INF_SUCCESS, Narrow(parent)));
}
