/* Test support: texts the platform gives. */
#include "win-text.h"
#include <cctype>
#include <cwctype>

std::wstring SystemDir()
{
    wchar_t wsz[MAX_PATH];
    return std::wstring(wsz, GetSystemDirectoryW(wsz, MAX_PATH));
}

std::wstring WindowText(HWND hwnd)
{
    std::wstring wstr(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    wstr.resize(static_cast<size_t>(GetWindowTextW(hwnd, wstr.data(), static_cast<int>(wstr.size()))));
    return wstr;
}

std::string Lower(std::string s)
{
    for (char &ch : s)
        ch = static_cast<char>(tolower(static_cast<unsigned char>(ch)));
    return s;
}

std::wstring Lower(std::wstring s)
{
    for (wchar_t &wc : s)
        wc = towlower(wc);
    return s;
}
