/* Benchmark support: starts a program with an exact command line, its standard handles all
 * on one handle (the null device) and optionally an environment block of its own, and exits
 * the benchmark when it cannot. */
#pragma once
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

/** The null device, opened to be inherited as a started program's standard handles. */
inline HANDLE BenchOpenNul()
{
    SECURITY_ATTRIBUTES sa = { sizeof(sa), nullptr, TRUE };
    return CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                       OPEN_EXISTING, 0, nullptr);
}

inline PROCESS_INFORMATION BenchStartProcess(const std::wstring &exe, const std::wstring &cmdline, HANDLE hStd,
                                             DWORD fCreate = 0, wchar_t *pwszEnvBlock = nullptr)
{
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = si.hStdOutput = si.hStdError = hStd;
    PROCESS_INFORMATION pi = {};
    std::vector<wchar_t> cmd(cmdline.begin(), cmdline.end());
    cmd.push_back(L'\0');
    if (pwszEnvBlock)
        fCreate |= CREATE_UNICODE_ENVIRONMENT;
    if (!CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, TRUE, fCreate, pwszEnvBlock, nullptr, &si, &pi))
    {
        fprintf(stderr, "cannot start %ls\n", exe.c_str());
        exit(1);
    }
    return pi;
}
