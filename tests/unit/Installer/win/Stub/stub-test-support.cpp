/* The installer's unit tests: recorded message boxes. */
#include "stub-test-support.h"
#include "process-runner.h"
#include "exec-path.h"
#include "rt/init.h"
#include <gtest/gtest.h>

namespace {

std::vector<BoxCall> g_aCalls;

/** The installer's platform calls are bound through the runtime's loader, which the
 *  runtime's initialisation sets up, as the installer's main does first. Initialisation
 *  records the executable's path again, so the program is named only afterwards (and before
 *  the first message, whose writer keeps the name it finds). */
class RuntimeInit : public ::testing::Environment
{
    void SetUp() override
    {
        ASSERT_TRUE(RT_SUCCESS(RTR3InitForExe(0, nullptr, RTINIT_F_SYSTEM32_ONLY)));
        SetTestExecPath("C:\\Stub\\NimbStub.exe");
    }
};
::testing::Environment *const g_pRuntimeInit = ::testing::AddGlobalTestEnvironment(new RuntimeInit);

int WINAPI RecordBoxW(HWND hwndOwner, LPCWSTR pwszText, LPCWSTR pwszTitle, UINT fStyle)
{
    g_aCalls.push_back({ true, hwndOwner, Narrow(pwszText), Narrow(pwszTitle), fStyle });
    return IDOK;
}

int WINAPI RecordBoxA(HWND hwndOwner, LPCSTR pszText, LPCSTR pszTitle, UINT fStyle)
{
    g_aCalls.push_back({ false, hwndOwner, pszText, pszTitle, fStyle });
    return IDOK;
}

HWND WINAPI FakeDesktop()
{
    return g_hwndFakeDesktop;
}

} /* namespace */

BoxRecorder::BoxRecorder()
{
    g_aCalls.clear();
    g_MessageBoxCalls = { RecordBoxW, RecordBoxA, FakeDesktop };
    g_InstallerState = InstallerState{};
}

BoxRecorder::~BoxRecorder()
{
    g_MessageBoxCalls = { MessageBoxW, MessageBoxA, GetDesktopWindow };
    g_InstallerState = InstallerState{};
}

std::vector<BoxCall> &BoxRecorder::Calls()
{
    return g_aCalls;
}

void WINAPI NoSleep(DWORD) {}
