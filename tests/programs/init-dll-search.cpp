/* Loads the library planted beside it by its bare name before and after runtime
 * initialisation, and a system library after it. Reports each step on standard error; the
 * exit code has bit 0 set when the planted library loaded before, bit 1 when it loaded
 * after, bit 2 when initialisation failed, bit 3 when the system library did not load and
 * bit 4 when the planted library could not be unloaded between the attempts. */
#include <windows.h>
#include "rt/init.h"
#include "internal/startup.h"

template <size_t N>
static void Write(const char (&sz)[N])
{
    rtStartupWrite(sz, N - 1);
}

/** Loads @p pwszName by its bare name and unloads it again; false when it did not load.
 *  @p pfStuck, when given, says whether the library stayed loaded after the unload. */
static bool TryLoad(const wchar_t *pwszName, bool *pfStuck)
{
    HMODULE const hMod = LoadLibraryW(pwszName);
    if (!hMod)
    {
        Write("not loaded, error ");
        rtStartupWriteDecHex(GetLastError());
        Write("\r\n");
        return false;
    }
    Write("loaded\r\n");
    FreeLibrary(hMod);
    if (pfStuck)
        *pfStuck = GetModuleHandleW(pwszName) != nullptr;
    return true;
}

int main(int argc, char **argv, char **)
{
    int iExit = 0;
    bool fStuck = false;
    Write("before: ");
    if (TryLoad(L"nimbplant.dll", &fStuck))
        iExit |= 1;
    if (fStuck)
        iExit |= 16;

    static const char s_szInit[] = "init: ";
    RTSTATUS const rc = RTR3InitForExe(argc, &argv, RTINIT_F_SYSTEM32_ONLY);
    rtStartupWriteStatus(s_szInit, sizeof(s_szInit) - 1, rc);
    if (RT_FAILURE(rc))
        iExit |= 4;

    Write("after: ");
    if (TryLoad(L"nimbplant.dll", nullptr))
        iExit |= 2;
    Write("system: ");
    if (!TryLoad(L"version.dll", nullptr))
        iExit |= 8;
    return iExit;
}
