/* The root of a path, by its text. */
#include <gtest/gtest.h>
#include "rt/path.h"

TEST(PathRootLen, DrivesUncAndSeparators)
{
    struct { const char *pszPath; size_t cchRoot; } const s_aCases[] =
    {
        { "",                      0 },
        { "dir\\file",             0 },
        { "1:\\x",                 0 },
        { "C:",                    2 },
        { "c:file",                2 },
        { "C:\\",                  3 },
        { "C:\\/\\dir",            5 },
        { "\\",                    1 },
        { "/dir",                  1 },
        { "\\\\",                  2 },
        { "\\\\\\x",               3 },
        { "\\\\server",            8 },
        { "\\\\server\\share",    14 },
        { "//server/share/dir",   15 },
        { "\\\\server\\\\share\\", 16 },
    };
    for (const auto &c : s_aCases)
    {
        EXPECT_EQ(RTPathRootLen(c.pszPath), c.cchRoot) << c.pszPath;
        EXPECT_EQ(RTPathStartsWithRoot(c.pszPath), c.cchRoot != 0) << c.pszPath;
    }
    EXPECT_EQ(RTPathRootLen(nullptr), 0u);
    EXPECT_FALSE(RTPathStartsWithRoot(reinterpret_cast<const char *>(0x10)));
}
