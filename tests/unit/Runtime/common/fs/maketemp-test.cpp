/* Unique directory and file names from templates, on the real file system: the run that
 * is replaced, the characters used, a full name space, and the failures that empty the
 * template. */
#include <gtest/gtest.h>
#include <set>
#include <string>
#include "rt/dir.h"
#include "rt/file.h"
#include "rt/status.h"
#include "scratch-dir.h"

namespace {

bool IsNameChar(char ch)
{
    return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'z');
}

/** @p made with each character past @p offName that @p pszPattern marks '#' checked to be
 *  a name character and replaced by '#', for comparison with the pattern. */
std::string MaskAs(const std::string &made, size_t offName, const char *pszPattern)
{
    std::string masked = made;
    for (size_t i = offName; i < masked.size() && pszPattern[i - offName]; i++)
        if (pszPattern[i - offName] == '#')
        {
            EXPECT_TRUE(IsNameChar(masked[i])) << made;
            masked[i] = '#';
        }
    return masked;
}

} /* namespace */

TEST(MakeTemp, TenThousandDistinctDirectories)
{
    ScratchDir dir;
    std::string const base = dir.path() + "\\";
    std::string const tmpl = base + std::string(24, 'X');
    std::set<std::string> names;
    for (int i = 0; i < 10000; i++)
    {
        char sz[512];
        snprintf(sz, sizeof(sz), "%s", tmpl.c_str());
        ASSERT_EQ(RTDirMakeTemp(sz, 0700), INF_SUCCESS) << i;
        std::string const pattern(24, '#');
        ASSERT_EQ(MaskAs(sz, base.size(), pattern.c_str()), base + pattern);
        ASSERT_TRUE(names.insert(sz).second) << sz;
        ASSERT_TRUE(RTDirExists(sz)) << sz;
    }
}

TEST(MakeTemp, TheRunThatIsReplaced)
{
    /* Template name, then the expected name with '#' for each replaced character; an empty
       expectation means there is no usable run. */
    static const struct { const char *pszName, *pszExpected; } s_aCases[] = {
        { "XXXXXXXXXXXXXXXXXXXXXXXX.msi", "########################.msi" },
        { "aX",                           "a#" },
        { "pre-XXXX-mid-XXX.txt",         "pre-XXXX-mid-###.txt" },
        { "aXXXXb.txt",                   "a####b.txt" },
        { "XXX.t",                        "###.t" },
        { "name-X.txt",                   "" },
        { "XX.txt",                       "" },
        { "XXX",                          "###" },
    };
    ScratchDir dir;
    std::string const base = dir.path() + "\\";
    for (auto const &c : s_aCases)
    {
        char sz[512];
        snprintf(sz, sizeof(sz), "%s%s", base.c_str(), c.pszName);
        RTFILE hFile = NIL_RTFILE;
        RTSTATUS const rc = RTFileMakeTemp(&hFile, sz, RTFOPEN_CREATE | RTFOPEN_READWRITE | RTFOPEN_DENY_NONE);
        if (!*c.pszExpected)
        {
            EXPECT_EQ(rc, ERR_BAD_ARGUMENT) << c.pszName;
            EXPECT_STREQ(sz, "") << c.pszName;
            EXPECT_EQ(hFile, NIL_RTFILE);
            continue;
        }
        ASSERT_EQ(rc, INF_SUCCESS) << c.pszName;
        EXPECT_NE(hFile, NIL_RTFILE);
        EXPECT_EQ(RTFileClose(hFile), INF_SUCCESS);
        EXPECT_EQ(MaskAs(sz, base.size(), c.pszExpected), base + c.pszExpected);
        EXPECT_TRUE(PathExists(sz));
    }

    /* X only in a directory component. */
    char sz[512];
    snprintf(sz, sizeof(sz), "%sdirXXX\\file.txt", base.c_str());
    EXPECT_EQ(RTDirMakeTemp(sz, 0700), ERR_BAD_ARGUMENT);
    EXPECT_STREQ(sz, "");
    sz[0] = '\0';
    EXPECT_EQ(RTDirMakeTemp(sz, 0700), ERR_BAD_ARGUMENT);
}

TEST(MakeTemp, FullNameSpaceEndsWithNameTaken)
{
    /* A single X gives 36 names; with all of them taken the attempts run out. */
    ScratchDir dir;
    static const char s_szAlphabet[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    for (const char *pch = s_szAlphabet; *pch; pch++)
    {
        ASSERT_EQ(RTDirMake((dir / std::string("d") + *pch).c_str(), 0700, 0), INF_SUCCESS);
        ASSERT_TRUE(WriteWholeFile(dir / std::string("f") + *pch, ""));
    }
    char sz[512];
    snprintf(sz, sizeof(sz), "%s", (dir / "dX").c_str());
    EXPECT_EQ(RTDirMakeTemp(sz, 0700), ERR_NAME_TAKEN);
    EXPECT_STREQ(sz, "");

    snprintf(sz, sizeof(sz), "%s", (dir / "fX").c_str());
    RTFILE hFile = 1234;
    EXPECT_EQ(RTFileMakeTemp(&hFile, sz, RTFOPEN_CREATE | RTFOPEN_WRITE | RTFOPEN_DENY_NONE), ERR_NAME_TAKEN);
    EXPECT_EQ(hFile, NIL_RTFILE);
    EXPECT_STREQ(sz, "");
}

TEST(MakeTemp, FailuresOtherThanATakenName)
{
    ScratchDir dir;
    char sz[512];

    /* Only the create action is allowed; the template stays as it was. */
    snprintf(sz, sizeof(sz), "%s", (dir / "XXXXXX").c_str());
    RTFILE hFile = 1234;
    EXPECT_EQ(RTFileMakeTemp(&hFile, sz, RTFOPEN_CREATE_REPLACE | RTFOPEN_WRITE | RTFOPEN_DENY_NONE), ERR_BAD_FLAGS);
    EXPECT_EQ(hFile, NIL_RTFILE);
    EXPECT_EQ(std::string(sz), dir / "XXXXXX");

    /* A missing parent ends the attempts at once and empties the template. */
    snprintf(sz, sizeof(sz), "%s", (dir / "missing\\XXXXXX").c_str());
    EXPECT_EQ(RTDirMakeTemp(sz, 0700), ERR_PATH_MISSING);
    EXPECT_STREQ(sz, "");
    snprintf(sz, sizeof(sz), "%s", (dir / "missing\\XXXXXX").c_str());
    EXPECT_EQ(RTFileMakeTemp(&hFile, sz, RTFOPEN_CREATE | RTFOPEN_WRITE | RTFOPEN_DENY_NONE), ERR_PATH_MISSING);
    EXPECT_EQ(hFile, NIL_RTFILE);
    EXPECT_STREQ(sz, "");
}
