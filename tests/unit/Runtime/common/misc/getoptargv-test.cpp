/* Command-line splitting by the Windows and the Bourne shell rules, in a new block and in
 * place, with its failure paths. */
#include <gtest/gtest.h>
#include "leak-check.h"
#include "process-runner.h"
#include <windows.h>
#include <random>
#include <string>
#include <vector>
#include "rt/getoptargv.h"
#include "rt/string.h"
#include "rt/mem.h"

namespace {

typedef std::vector<std::string> Args;

/** Splits in both modes, checks the shape of each vector and that the modes agree. */
RTSTATUS Split(const std::string &cmdLine, uint32_t fStyle, Args *pArgs, const char *pszSeps = nullptr)
{
    pArgs->clear();
    Args aResults[2];
    RTSTATUS aRcs[2];
    for (int iMode = 0; iMode < 2; iMode++)
    {
        uint32_t const fFlags = fStyle | (iMode ? ARGVSPLIT_INPLACE : 0);
        std::vector<char> input(cmdLine.begin(), cmdLine.end());
        input.push_back('\0');
        char **papsz = reinterpret_cast<char **>(1);
        int cArgs = -7;
        aRcs[iMode] = RTGetOptArgvSplit(&papsz, &cArgs, input.data(), fFlags, pszSeps);
        if (RT_FAILURE(aRcs[iMode]))
        {
            EXPECT_EQ(papsz, reinterpret_cast<char **>(1));
            EXPECT_EQ(cArgs, -7);
            EXPECT_EQ(std::string(input.data()), cmdLine) << "input touched on failure";
            continue;
        }
        EXPECT_GE(cArgs, 0);
        EXPECT_EQ(papsz[cArgs], nullptr);
        for (int i = 0; i < cArgs; i++)
        {
            aResults[iMode].push_back(papsz[i]);
            bool const fInInput = papsz[i] >= input.data() && papsz[i] < input.data() + input.size();
            EXPECT_EQ(fInInput, iMode == 1) << "argument " << i;
        }
        RTGetOptArgvFree(papsz, fFlags);
    }
    EXPECT_EQ(aRcs[0], aRcs[1]);
    EXPECT_EQ(aResults[0], aResults[1]);
    *pArgs = aResults[0];
    return aRcs[0];
}

struct SplitCase
{
    uint32_t fStyle;
    const char *pszInput;
    Args expected;
};

TEST(ArgvSplit, QuotingRules)
{
    const SplitCase aCases[] = {
        { ARGVSPLIT_WINDOWS, "a b  c",            { "a", "b", "c" } },
        { ARGVSPLIT_WINDOWS, "",                  { } },
        { ARGVSPLIT_WINDOWS, " \t\r\n ",          { } },
        { ARGVSPLIT_WINDOWS, "  lead trail  ",    { "lead", "trail" } },
        { ARGVSPLIT_WINDOWS, "\"a b\" c",         { "a b", "c" } },
        { ARGVSPLIT_WINDOWS, "a\"b\"c",           { "abc" } },
        { ARGVSPLIT_WINDOWS, "\"\"",              { "" } },
        { ARGVSPLIT_WINDOWS, "a \"\" b",          { "a", "", "b" } },
        { ARGVSPLIT_WINDOWS, "\"a\"\"b\"",        { "a\"b" } },
        { ARGVSPLIT_WINDOWS, "\"a\"\"\"\"b\"",    { "a\"\"b" } },
        { ARGVSPLIT_WINDOWS, "a\\\\\\\"b",        { "a\\\"b" } },
        { ARGVSPLIT_WINDOWS, "a\\\\\"b c\"",      { "a\\b c" } },
        { ARGVSPLIT_WINDOWS, "a\\b",              { "a\\b" } },
        { ARGVSPLIT_WINDOWS, "a\\\\",             { "a\\\\" } },
        { ARGVSPLIT_WINDOWS, "\\\\\\\\\"x y\"",   { "\\\\x y" } },
        { ARGVSPLIT_WINDOWS, "\"unterminated x",  { "unterminated x" } },
        { ARGVSPLIT_WINDOWS, "\"in \\\"quotes\\\"\"", { "in \"quotes\"" } },
        { ARGVSPLIT_WINDOWS, "'single' quotes",   { "'single'", "quotes" } },
        { ARGVSPLIT_WINDOWS, "caf\xc3\xa9 \"\xe6\x97\xa5 \xf0\x9f\x98\x80\"", { "caf\xc3\xa9", "\xe6\x97\xa5 \xf0\x9f\x98\x80" } },
        { ARGVSPLIT_WINDOWS, "a\nb\rc\td",        { "a", "b", "c", "d" } },
        { ARGVSPLIT_SHELL,   "'a b'\"c d\"\\ e",  { "a bc d e" } },
        { ARGVSPLIT_SHELL,   "\"a\\$b\"",         { "a$b" } },
        { ARGVSPLIT_SHELL,   "\"a\\qb\"",         { "a\\qb" } },
        { ARGVSPLIT_SHELL,   "'a\\b'",            { "a\\b" } },
        { ARGVSPLIT_SHELL,   "\"\\\"\\\\\\`\\$\"", { "\"\\`$" } },
        { ARGVSPLIT_SHELL,   "\"a\\\nb\"",        { "a\nb" } },
        { ARGVSPLIT_SHELL,   "'\"' \"'\"",        { "\"", "'" } },
        { ARGVSPLIT_SHELL,   "a\\\"b \\'c",       { "a\"b", "'c" } },
        { ARGVSPLIT_SHELL,   "\\\xc3\xa9x",       { "\xc3\xa9x" } },
        { ARGVSPLIT_SHELL,   "tail\\",            { "tail" } },
        { ARGVSPLIT_SHELL,   "\"tail\\",          { "tail" } },
        { ARGVSPLIT_SHELL,   "'open quote",       { "open quote" } },
        { ARGVSPLIT_SHELL,   "'' \"\"",           { "", "" } },
        { ARGVSPLIT_SHELL,   "  x  ",             { "x" } },
        { ARGVSPLIT_SHELL,   "",                  { } },
    };
    for (const SplitCase &c : aCases)
    {
        SCOPED_TRACE(testing::Message() << (c.fStyle ? "shell: " : "windows: ") << c.pszInput);
        Args args;
        EXPECT_EQ(Split(c.pszInput, c.fStyle, &args), INF_SUCCESS);
        EXPECT_EQ(args, c.expected);
    }
}

TEST(ArgvSplit, SeparatorSets)
{
    Args args;
    EXPECT_EQ(Split("a,b c", ARGVSPLIT_WINDOWS, &args, " ,"), INF_SUCCESS);
    EXPECT_EQ(args, (Args{ "a", "b", "c" }));
    EXPECT_EQ(Split("\"a,b\",c", ARGVSPLIT_WINDOWS, &args, ","), INF_SUCCESS);
    EXPECT_EQ(args, (Args{ "a,b", "c" }));
    /* U+3000 IDEOGRAPHIC SPACE alone: plain spaces no longer separate. */
    EXPECT_EQ(Split("\xe6\x97\xa5\xe3\x80\x80\xe3\x80\x80x y\xe3\x80\x80", ARGVSPLIT_SHELL, &args, "\xe3\x80\x80"), INF_SUCCESS);
    EXPECT_EQ(args, (Args{ "\xe6\x97\xa5", "x y" }));
    /* A non-ASCII code point that is not in the set, beside one that is. */
    EXPECT_EQ(Split("\xc3\xa9-\xc3\xa8", ARGVSPLIT_WINDOWS, &args, "-\xc3\xa8"), INF_SUCCESS);
    EXPECT_EQ(args, (Args{ "\xc3\xa9" }));
}

TEST(ArgvSplit, BadArgumentsAllocateNothing)
{
    struct { const char *pszInput; uint32_t fFlags; const char *pszSeps; RTSTATUS rc; } const aCases[] = {
        { "a b",        2,                                       nullptr,   ERR_BAD_FLAGS },
        { "a b",        3 | ARGVSPLIT_INPLACE,                   nullptr,   ERR_BAD_FLAGS },
        { "a b",        ARGVSPLIT_WINDOWS,                       "",        ERR_BAD_ARGUMENT },
        { "a \xff b",   ARGVSPLIT_WINDOWS,                       nullptr,   ERR_UTF8_MALFORMED },
        { "a \xff b",   ARGVSPLIT_SHELL | ARGVSPLIT_INPLACE,     nullptr,   ERR_UTF8_MALFORMED },
        { "a b \xed\xa0\x80", ARGVSPLIT_WINDOWS | ARGVSPLIT_INPLACE, nullptr, ERR_UTF8_SURROGATE },
        { "a b",        ARGVSPLIT_WINDOWS,                       " \xe3\x80", ERR_UTF8_MALFORMED },
    };
    for (const auto &c : aCases)
    {
        SCOPED_TRACE(testing::Message() << "case " << &c - aCases);
        EXPECT_FALSE(LeavesHeapBlocks([&] {
            char szInput[32];
            strcpy(szInput, c.pszInput);
            char **papsz = nullptr;
            int cArgs = -1;
            EXPECT_EQ(RTGetOptArgvSplit(&papsz, &cArgs, szInput, c.fFlags, c.pszSeps), c.rc);
            EXPECT_EQ(papsz, nullptr);
            EXPECT_EQ(cArgs, -1);
            EXPECT_STREQ(szInput, c.pszInput);
        }));
    }
}

/* The allocations in order: the text block (unless in place), then the array at 33
   entries and again at 65 for 40 arguments. */
std::vector<size_t> g_aAllocSizes;
size_t g_cAllocsAllowed;

bool RecordingHook(size_t cb)
{
    if (g_aAllocSizes.size() >= g_cAllocsAllowed)
        return false;
    g_aAllocSizes.push_back(cb);
    return true;
}

TEST(ArgvSplit, ArrayGrowsBy32AndFailuresFreeEverything)
{
    std::string cmdLine;
    for (int i = 0; i < 40; i++)
        cmdLine += "arg" + std::to_string(i) + " ";

    /* Everything allowed: record the sizes asked for. */
    g_aAllocSizes.clear();
    g_cAllocsAllowed = 100;
    g_pfnRTMemAllocHook = RecordingHook;
    char **papsz = nullptr;
    int cArgs = 0;
    RTSTATUS rc = RTGetOptArgvSplit(&papsz, &cArgs, cmdLine.c_str(), ARGVSPLIT_WINDOWS, nullptr);
    g_pfnRTMemAllocHook = nullptr;
    ASSERT_EQ(rc, INF_SUCCESS);
    ASSERT_EQ(cArgs, 40);
    EXPECT_STREQ(papsz[39], "arg39");
    EXPECT_EQ(papsz[40], nullptr);
    EXPECT_EQ(g_aAllocSizes, (std::vector<size_t>{ cmdLine.size() + 1, 33 * sizeof(char *), 65 * sizeof(char *) }));
    RTGetOptArgvFree(papsz, ARGVSPLIT_WINDOWS);

    struct { uint32_t fFlags; size_t cAllowed; RTSTATUS rc; } const aFailures[] = {
        { ARGVSPLIT_WINDOWS,                     0, ERR_STRING_ALLOC_FAILED },
        { ARGVSPLIT_WINDOWS,                     1, ERR_OUT_OF_MEMORY },
        { ARGVSPLIT_WINDOWS,                     2, ERR_OUT_OF_MEMORY },
        { ARGVSPLIT_WINDOWS | ARGVSPLIT_INPLACE, 0, ERR_OUT_OF_MEMORY },
        { ARGVSPLIT_WINDOWS | ARGVSPLIT_INPLACE, 1, ERR_OUT_OF_MEMORY },
    };
    for (const auto &c : aFailures)
    {
        SCOPED_TRACE(testing::Message() << "flags " << c.fFlags << ", allocations allowed " << c.cAllowed);
        std::vector<char> input(cmdLine.begin(), cmdLine.end());
        input.push_back('\0');
        EXPECT_FALSE(LeavesHeapBlocks([&] {
            g_aAllocSizes.clear();
            g_cAllocsAllowed = c.cAllowed;
            g_pfnRTMemAllocHook = RecordingHook;
            papsz = nullptr;
            cArgs = -1;
            rc = RTGetOptArgvSplit(&papsz, &cArgs, input.data(), c.fFlags, nullptr);
            g_pfnRTMemAllocHook = nullptr;
            EXPECT_EQ(rc, c.rc);
            EXPECT_EQ(papsz, nullptr);
            EXPECT_EQ(cArgs, -1);
        }));
    }

    /* No arguments: the text block goes and a lone null pointer comes back. */
    g_aAllocSizes.clear();
    g_cAllocsAllowed = 1;
    g_pfnRTMemAllocHook = RecordingHook;
    rc = RTGetOptArgvSplit(&papsz, &cArgs, "   ", ARGVSPLIT_WINDOWS, nullptr);
    g_pfnRTMemAllocHook = nullptr;
    EXPECT_EQ(rc, ERR_OUT_OF_MEMORY);
    ASSERT_EQ(RTGetOptArgvSplit(&papsz, &cArgs, "   ", ARGVSPLIT_WINDOWS, nullptr), INF_SUCCESS);
    EXPECT_EQ(cArgs, 0);
    EXPECT_EQ(papsz[0], nullptr);
    RTGetOptArgvFree(papsz, ARGVSPLIT_WINDOWS);
}

/* The longest command line Windows passes, 32,767 UTF-16 units, converted as start-up
   converts it and split in place. */
TEST(ArgvSplit, LongestWindowsCommandLine)
{
    static const wchar_t *const s_apwszPieces[] = {
        L"plain", L"with space", L"tab\there", L"q\"uote", L"back\\slash", L"trail\\",
        L"\\\\\"mix\\", L"caf\x00e9", L"\x65e5\x672c", L"\xd83d\xde00 emoji", L"", L"--opt=\"v w\"",
    };
    std::mt19937 rng(3267);
    std::vector<std::wstring> expected;
    std::wstring cmdLine = L"prog.exe";
    expected.push_back(L"prog.exe");
    for (;;)
    {
        std::wstring arg = s_apwszPieces[rng() % RT_ELEMENTS(s_apwszPieces)];
        arg += s_apwszPieces[rng() % RT_ELEMENTS(s_apwszPieces)];
        std::wstring const quoted = L" " + QuoteArg(arg);
        if (cmdLine.size() + quoted.size() > 32767)
            break;
        cmdLine += quoted;
        expected.push_back(arg);
    }
    /* Fill up to exactly 32,767 units with one last plain argument. */
    if (cmdLine.size() + 2 <= 32767)
    {
        std::wstring const filler(32767 - cmdLine.size() - 1, L'z');
        cmdLine += L" " + filler;
        expected.push_back(filler);
    }
    ASSERT_EQ(cmdLine.size(), 32767u);

    char *pszCmdLine = nullptr;
    ASSERT_EQ(RTUtf16ToUtf8Ex(cmdLine.c_str(), cmdLine.size(), &pszCmdLine, 0, nullptr), INF_SUCCESS);
    char **papsz = nullptr;
    int cArgs = 0;
    ASSERT_EQ(RTGetOptArgvSplit(&papsz, &cArgs, pszCmdLine, ARGVSPLIT_WINDOWS | ARGVSPLIT_INPLACE, nullptr), INF_SUCCESS);
    ASSERT_EQ(static_cast<size_t>(cArgs), expected.size());
    for (int i = 0; i < cArgs; i++)
    {
        RTUTF16 *pwsz = nullptr;
        ASSERT_EQ(RTStrToUtf16(papsz[i], &pwsz), INF_SUCCESS);
        EXPECT_EQ(std::wstring(pwsz), expected[i]) << "argument " << i;
        RTUtf16Release(pwsz);
    }
    EXPECT_EQ(papsz[cArgs], nullptr);
    RTGetOptArgvFree(papsz, ARGVSPLIT_WINDOWS | ARGVSPLIT_INPLACE);
    RTStrRelease(pszCmdLine);
}

} /* namespace */
