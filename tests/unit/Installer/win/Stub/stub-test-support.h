/* What the installer's unit tests share: message boxes recorded instead of shown, a fresh
 * installer state, and a pause that returns at once for clean-up's retries. */
#pragma once
#include <string>
#include <vector>
#include "NimbStub.h"

struct BoxCall
{
    bool        fWide;      /**< MessageBoxW rather than the narrow fallback */
    HWND        hwndOwner;
    std::string strText;    /**< UTF-8 */
    std::string strTitle;
    UINT        fStyle;
};

/** The owner the recorded desktop-window call hands out. */
inline HWND const g_hwndFakeDesktop = reinterpret_cast<HWND>(0x10010);

/** Records every box while it lives and resets the installer state. */
class BoxRecorder
{
public:
    BoxRecorder();
    ~BoxRecorder();
    std::vector<BoxCall> &Calls();
};

/** Stands in for the pause between clean-up's retries (g_pfnCleanupSleep). */
void WINAPI NoSleep(DWORD);
