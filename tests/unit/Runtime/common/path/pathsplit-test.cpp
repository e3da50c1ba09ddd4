/* Splitting a path into directory length, name offset and suffix offset by its text. */
#include <gtest/gtest.h>
#include <cstring>
#include "rt/path.h"

TEST(PathSplitSimple, RootsSeparatorsAndSuffixes)
{
    struct Case { const char *pszPath; size_t cchDir; intptr_t offName, offSuffix; };
    static const Case s_aCases[] =
    {
        /* Plain names and relative paths. */
        { "",                       0, -1, -1 },
        { "setup.exe",              0,  0,  5 },
        { "dir/setup",              3,  4, -1 },
        { "a\\b/c.d",               3,  4,  5 },
        /* Drive roots keep their separators; a drive-relative name has the drive as root. */
        { "C:",                     2, -1, -1 },
        { "C:\\",                   3, -1, -1 },
        { "C:\\\\/",                5, -1, -1 },
        { "C:\\setup.exe",          3,  3,  8 },
        { "C:\\\\setup.exe",        4,  4,  9 },
        { "C:setup.exe",            2,  2,  7 },
        { "1:\\x",                  2,  3, -1 },     /* not a drive letter */
        /* Rooted without a drive. */
        { "\\setup.exe",            1,  1,  6 },
        { "/",                      1, -1, -1 },
        /* UNC: the server belongs to the root, the share does not. */
        { "\\\\server",             8, -1, -1 },
        { "\\\\server\\",           9, -1, -1 },
        { "\\\\server\\share",      9,  9, -1 },
        { "//server/share/a.txt",  14, 15, 16 },
        /* Trailing separators: no name, the whole length; inner runs are dropped. */
        { "C:\\dir\\",              7, -1, -1 },
        { "C:\\dir\\\\sub\\\\",    13, -1, -1 },
        { "C:\\dir\\\\\\x",         6,  9, -1 },
        /* Suffix rules: the last dot of the name, not its first character, not at its end;
         * dots in directories do not count. */
        { "C:\\a.b\\name",          6,  7, -1 },
        { "C:\\dir\\.profile",      6,  7, -1 },
        { "C:\\dir\\name.",         6,  7, -1 },
        { "C:\\dir\\a.tar.gz",      6,  7, 12 },
        { "C:\\dir\\..",            6,  7, -1 },
        { "C:\\dir\\...x",          6,  7,  9 },
    };
    for (const Case &c : s_aCases)
    {
        size_t cchDir = 12345;
        intptr_t offName = 12345, offSuffix = 12345;
        EXPECT_EQ(RTPathSplitSimple(c.pszPath, &cchDir, &offName, &offSuffix), strlen(c.pszPath)) << c.pszPath;
        EXPECT_EQ(cchDir, c.cchDir) << c.pszPath;
        EXPECT_EQ(offName, c.offName) << c.pszPath;
        EXPECT_EQ(offSuffix, c.offSuffix) << c.pszPath;
    }
}

TEST(PathSplitSimple, BadPathAndOptionalOutputs)
{
    size_t cchDir = 7;
    intptr_t offName = 7, offSuffix = 7;
    EXPECT_EQ(RTPathSplitSimple(nullptr, &cchDir, &offName, &offSuffix), 0u);
    EXPECT_EQ(cchDir, 0u);
    EXPECT_EQ(offName, -1);
    EXPECT_EQ(offSuffix, -1);
    EXPECT_EQ(RTPathSplitSimple(reinterpret_cast<const char *>(0x100), nullptr, nullptr, nullptr), 0u);
    EXPECT_EQ(RTPathSplitSimple("C:\\a.b", nullptr, nullptr, nullptr), 6u);
}
