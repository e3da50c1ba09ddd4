/* UTF-8 paths as UTF-16 paths for the Win32 file functions: short form while it fits, long
 * "\\?\" form beyond. */
#include <gtest/gtest.h>
#include <string>
#include <windows.h>
#include "internal/pathint-win.h"
#include "rt/path.h"
#include "leak-check.h"
#include "process-runner.h"
#include "runtime-text.h"

namespace {

/** The Win32 form of @a strPath as UTF-8, or "" on failure (status in *prc). */
std::string Win32(const std::string &strPath, RTSTATUS *prc = nullptr)
{
    RTUTF16 *pwsz = reinterpret_cast<RTUTF16 *>(1);
    RTSTATUS const rc = RTPathToWin32Wide(&pwsz, strPath.c_str());
    if (prc)
        *prc = rc;
    if (RT_FAILURE(rc))
    {
        EXPECT_EQ(pwsz, nullptr);
        return "";
    }
    std::string const str = Narrow(pwsz);
    RTPathWin32WideFree(pwsz);
    return str;
}

/** A path of exactly @a cch characters starting with @a strHead, in components of 50. */
std::string PathOfLength(const std::string &strHead, size_t cch)
{
    std::string str = strHead;
    while (str.size() < cch)
        str += (str.size() % 51 == 50 && str.back() != '\\') ? '\\' : 'n';
    if (str.back() == '\\')
        str.back() = 'n';
    return str;
}

TEST(PathWin32, ShortUpToEachKindsLimit)
{
    std::string const strCwd = CurrentDir();
    size_t const cwcCwd = GetCurrentDirectoryW(0, nullptr); /* terminator included */
    struct { std::string strHead; size_t cchShort; std::string strLongPrefix; } const aKinds[] = {
        { "C:\\",             243, "\\\\?\\C:\\" },
        { "\\",               241, "\\\\?\\" + strCwd.substr(0, 2) + "\\" },
        { "\\\\srv\\share\\", 240, "\\\\?\\UNC\\srv\\share\\" },
        { "\\\\.\\dev\\",     240, "\\\\?\\dev\\" },
        { "rel\\",            242 - cwcCwd, "\\\\?\\" + strCwd + "\\rel\\" },
    };
    for (const auto &k : aKinds)
    {
        SCOPED_TRACE(k.strHead);
        std::string const strShort = PathOfLength(k.strHead, k.cchShort);
        EXPECT_EQ(Win32(strShort), strShort);
        std::string const strLong = PathOfLength(k.strHead, k.cchShort + 1);
        EXPECT_EQ(Win32(strLong), k.strLongPrefix + strLong.substr(k.strHead.size()));
    }
}

TEST(PathWin32, LongFormIsNormalised)
{
    std::string const strTail = PathOfLength("", 300);
    EXPECT_EQ(Win32("c:/x/../" + strTail + "/"), "\\\\?\\C:\\" + strTail + "\\");
    /* A literal long path stays as written, at any length. */
    std::string const strLiteral = "\\\\?\\C:\\a\\..\\" + strTail;
    EXPECT_EQ(Win32(strLiteral), strLiteral);
    std::string const strQuery = PathOfLength("\\\\?x", 243);
    EXPECT_EQ(Win32(strQuery), strQuery);
    /* Non-ASCII names keep their text in both forms. */
    std::string const strName = "\xC3\xA9t\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    EXPECT_EQ(Win32("C:\\" + strName), "C:\\" + strName);
    EXPECT_EQ(Win32("C:\\" + strTail + "\\" + strName), "\\\\?\\C:\\" + strTail + "\\" + strName);
}

TEST(PathWin32, DriveRelativeBecomesFull)
{
    std::string const strCwd = CurrentDir();
    std::string const strDrive = strCwd.substr(0, 2);
    EXPECT_EQ(Win32(strDrive + "x\\y"), strCwd + "\\x\\y");
    std::string const strTail = PathOfLength("", 250);
    EXPECT_EQ(Win32(strDrive + strTail), "\\\\?\\" + strCwd + "\\" + strTail);
}

TEST(PathWin32, LiteralNtNamesHaveNoLongForm)
{
    RTSTATUS rc;
    std::string const strShort = "\\\\:zuntnt:\\Device\\Null";
    EXPECT_EQ(Win32(strShort, &rc), strShort);
    std::string const strLong = PathOfLength("\\\\:zuntnt:\\Device\\", 300);
    EXPECT_FALSE(LeavesHeapBlocks([&] {
        Win32(strLong, &rc);
        EXPECT_EQ(rc, ERR_BAD_NAME);
    }));
}

TEST(PathWin32, BadInput)
{
    RTUTF16 *pwsz;
    EXPECT_EQ(RTPathToWin32Wide(nullptr, "x"), ERR_BAD_POINTER);
    EXPECT_EQ(RTPathToWin32Wide(&pwsz, reinterpret_cast<const char *>(0xfff)), ERR_BAD_POINTER);
    EXPECT_EQ(pwsz, nullptr);
    EXPECT_EQ(RTPathToWin32Wide(&pwsz, "a\xE2\x82"), ERR_UTF8_MALFORMED);
    EXPECT_EQ(pwsz, nullptr);
    RTSTATUS rc;
    Win32("C:\\" + std::string(40000, 'x'), &rc);
    EXPECT_EQ(rc, ERR_FILENAME_TOO_LONG);
    RTPathWin32WideFree(nullptr);
}

} /* namespace */
