/* The least an installer of one package can do: copy the package named by NIMB_BENCH_PACKAGE
 * into the temporary directory, run Windows Installer on it silently, delete the copy and
 * exit with Windows Installer's result. The Windows Installer start benchmark measures the
 * installer against it. With NIMB_BENCH_INSTALLER set, the package is instead the first blob
 * of that installer, written from its mapped file in one WriteFile call: the least an
 * installer that extracts from its loaded image can do. */
#include "reference-support.h"
#include <windows.h>
#include <msi.h>

namespace {

typedef INSTALLUILEVEL (WINAPI *PFNSETUI)(INSTALLUILEVEL, HWND *);
typedef UINT (WINAPI *PFNINSTALL)(LPCWSTR, LPCWSTR);

} /* namespace */

extern "C" void ReferenceEntry(void)
{
    WCHAR wszPackage[MAX_PATH], wszCopy[MAX_PATH + 16], wszLib[MAX_PATH + 16];
    bool const fPackage = readEnv(L"NIMB_BENCH_PACKAGE", wszPackage);
    DWORD const cwcTemp = GetTempPathW(MAX_PATH, wszCopy);
    UINT const cwcSys = GetSystemDirectoryW(wszLib, MAX_PATH);
    if (!fPackage || !cwcTemp || cwcTemp >= MAX_PATH || !cwcSys || cwcSys >= MAX_PATH)
        exitWith(125);
    lstrcatW(wszCopy, L"reference.msi");
    lstrcatW(wszLib, L"\\msi.dll");
    WCHAR wszInstaller[MAX_PATH];
    if (readEnv(L"NIMB_BENCH_INSTALLER", wszInstaller))
    {
        DWORD cbBlob = 0;
        const BYTE *pbBlob = LoadInstallerBlob(wszInstaller, &cbBlob);
        if (!pbBlob || !WriteBlobFile(wszCopy, pbBlob, cbBlob))
            exitWith(126);
    }
    else if (!CopyFileW(wszPackage, wszCopy, FALSE))
        exitWith(126);

    HMODULE const hMsi = LoadLibraryW(wszLib);
    PFNSETUI const pfnSetUI = hMsi ? reinterpret_cast<PFNSETUI>(GetProcAddress(hMsi, "MsiSetInternalUI")) : nullptr;
    PFNINSTALL const pfnInstall = hMsi ? reinterpret_cast<PFNINSTALL>(GetProcAddress(hMsi, "MsiInstallProductW")) : nullptr;
    UINT uResult = 127;
    if (pfnSetUI && pfnInstall)
    {
        pfnSetUI(INSTALLUILEVEL_NONE, nullptr);
        uResult = pfnInstall(wszCopy, L"");
    }
    DeleteFileW(wszCopy);
    exitWith(uResult);
}
