/* A second process that tries to change a file another process holds: "file-poke <path>"
 * tries to open it for writing, to rename it and to delete it, and exits with one bit per
 * attempt that succeeded (1: opened for writing, 2: renamed, 4: deleted); 0 when the file
 * held against all three. A rename that succeeds is moved back. 8: no path given. */
#include "rt/startup.h"
#include "rt/string.h"
#include <windows.h>

extern "C" int main(int argc, char **argv, char **envp)
{
    (void)envp;
    if (argc != 2)
        return 8;
    RTUTF16 *pwszPath = nullptr;
    if (RT_FAILURE(RTStrToUtf16(argv[1], &pwszPath)))
        return 8;
    LPCWSTR const pwsz = reinterpret_cast<LPCWSTR>(pwszPath);

    int fResult = 0;
    HANDLE const hWrite = CreateFileW(pwsz, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (hWrite != INVALID_HANDLE_VALUE)
    {
        fResult |= 1;
        CloseHandle(hWrite);
    }
    static const WCHAR s_wszMoved[] = L".moved";
    WCHAR wszMoved[1024];
    size_t cwc = 0;
    while (pwsz[cwc] && cwc < 1000)
        wszMoved[cwc] = pwsz[cwc], cwc++;
    for (size_t i = 0; i < sizeof(s_wszMoved) / sizeof(WCHAR); i++)
        wszMoved[cwc + i] = s_wszMoved[i];
    if (MoveFileW(pwsz, wszMoved))
    {
        fResult |= 2;
        MoveFileW(wszMoved, pwsz);
    }
    if (DeleteFileW(pwsz))
        fResult |= 4;
    RTUtf16Release(pwszPath);
    return fResult;
}
