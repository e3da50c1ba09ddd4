/* Finding a program's message box from a test on the virtual display. */
#pragma once
#include <windows.h>
#include <atomic>
#include <chrono>
#include <thread>

/** Waits until a visible dialog titled @p pwszTitle is up, @p fDone says its program has
 *  ended, or @p cSeconds have passed; returns the dialog, or null. */
inline HWND WaitForVisibleBox(const wchar_t *pwszTitle, const std::atomic<bool> &fDone, int cSeconds)
{
    auto const tsEnd = std::chrono::steady_clock::now() + std::chrono::seconds(cSeconds);
    while (!fDone && std::chrono::steady_clock::now() < tsEnd)
    {
        HWND const hwndBox = FindWindowW(L"#32770", pwszTitle);
        if (hwndBox && IsWindowVisible(hwndBox))
            return hwndBox;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return nullptr;
}
