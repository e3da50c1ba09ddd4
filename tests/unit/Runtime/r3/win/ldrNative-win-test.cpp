/* Side-by-side redirections of system libraries: followed only when they stay inside the
 * Windows directory tree, whatever separators, letter case or dot components they use. */
#include <gtest/gtest.h>
#include <string>
#include "internal/ldr.h"

TEST(LdrNativeWin, RedirectionIsFollowedOnlyInsideTheWindowsTree)
{
    static const wchar_t s_wszSysDir[] = L"C:\\windows\\system32";
    struct { const wchar_t *pwszPath; bool fTrusted; } const s_aCases[] =
    {
        { L"C:\\windows\\system32\\comctl32.dll", true },
        { L"c:/WINDOWS//winsxs\\x86_common-controls_6595b64144ccf1df_6.0.0.0_none\\comctl32.dll", true },
        { L"C:\\windows\\comctl32.dll", true },
        /* Outside the tree, or only seemingly inside it. */
        { L"C:\\Users\\x\\comctl32.dll", false },
        { L"C:\\windowsX\\comctl32.dll", false },
        { L"D:\\windows\\system32\\comctl32.dll", false },
        { L"comctl32.dll", false },
        /* Climbing out through dot components. */
        { L"C:\\Windows\\..\\Users\\x\\evil.dll", false },
        { L"C:\\windows\\system32\\..\\..\\evil.dll", false },
        { L"C:\\windows\\.\\evil.dll", false },
        { L"C:\\windows\\winsxs\\...\\evil.dll", false },
        { L"C:\\windows\\winsxs\\. .\\evil.dll", false },
        { L"C:/windows/winsxs/../../evil.dll", false },
        { L"C:\\windows\\system32\\evil.dll\\..", false },
        /* Dots inside a name are ordinary. */
        { L"C:\\windows\\winsxs\\x86.a..b\\.hidden.dll", true },
    };
    for (const auto &c : s_aCases)
        EXPECT_EQ(rtldrNativeIsTrustedRedirection(c.pwszPath, wcslen(c.pwszPath), s_wszSysDir), c.fTrusted)
            << std::string(c.pwszPath, c.pwszPath + wcslen(c.pwszPath));

    /* Only the given length counts: what follows it is not part of the path. */
    static const wchar_t s_wszLonger[] = L"C:\\windows\\evil.dll\\..\\..";
    EXPECT_TRUE(rtldrNativeIsTrustedRedirection(s_wszLonger, 19, s_wszSysDir));
}
