/* Test support: runs a program through CreateProcessW with pipes for its output. */
#include "process-runner.h"
#include "read-to-end.h"
#include <windows.h>
#include <vector>

std::wstring Widen(const std::string &s)
{
    if (s.empty())
        return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), nullptr, 0);
    std::wstring w(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), w.data(), n);
    return w;
}

std::string Narrow(const std::wstring &w)
{
    if (w.empty())
        return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), s.data(), n, nullptr, nullptr);
    return s;
}

std::wstring BuildPath(const char *relative)
{
    /* The build tree is a Unix path; Wine shows the Unix root as drive Z:. */
    std::wstring path = L"Z:" + Widen(NIMB_BUILD_DIR) + L"/" + Widen(relative);
    for (auto &ch : path)
        if (ch == L'/')
            ch = L'\\';
    return path;
}

std::wstring QuoteArg(const std::wstring &arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return arg;
    std::wstring q = L"\"";
    for (size_t i = 0;; i++)
    {
        size_t backslashes = 0;
        while (i < arg.size() && arg[i] == L'\\')
            i++, backslashes++;
        if (i == arg.size())
        {
            q.append(backslashes * 2, L'\\');
            break;
        }
        if (arg[i] == L'"')
            q.append(backslashes * 2 + 1, L'\\');
        else
            q.append(backslashes, L'\\');
        q.push_back(arg[i]);
    }
    q.push_back(L'"');
    return q;
}

struct PipeDrain
{
    HANDLE       hPipe;
    std::string *pSink;
};

static DWORD WINAPI DrainPipe(void *pvDrain)
{
    PipeDrain *pDrain = static_cast<PipeDrain *>(pvDrain);
    ReadToEnd(pDrain->hPipe, *pDrain->pSink);
    return 0;
}

/** The name of an environment entry, folded to lower case as the platform compares names
 *  ("=C:=C:\\x" is named "=C:"). */
static std::wstring EnvName(const wchar_t *pwszVar)
{
    const wchar_t *pwszEq = wcschr(pwszVar + 1, L'=');
    std::wstring name(pwszVar, pwszEq ? size_t(pwszEq - pwszVar) : wcslen(pwszVar));
    for (auto &wc : name)
        wc = towlower(wc);
    return name;
}

void UninstallProduct(const std::wstring &productCode)
{
    RunProcess(L"C:\\windows\\system32\\msiexec.exe", L"msiexec /qn /x " + productCode);
}

std::vector<wchar_t> EnvironmentBlock(const std::wstring &extra)
{
    std::vector<std::wstring> vars;
    size_t start = 0;
    while (start < extra.size())
    {
        size_t end = extra.find(L'\n', start);
        if (end == std::wstring::npos)
            end = extra.size();
        /* A later entry of the same name replaces an earlier one: the platform's lookup
           would find only the first of two. */
        std::wstring var = extra.substr(start, end - start);
        std::erase_if(vars, [&](const std::wstring &prev) { return EnvName(prev.c_str()) == EnvName(var.c_str()); });
        vars.push_back(std::move(var));
        start = end + 1;
    }
    std::vector<wchar_t> block;
    wchar_t *env = GetEnvironmentStringsW();
    for (const wchar_t *p = env; *p; p += wcslen(p) + 1)
    {
        bool fReplaced = false;
        for (const std::wstring &var : vars)
            fReplaced |= EnvName(var.c_str()) == EnvName(p);
        if (!fReplaced)
            block.insert(block.end(), p, p + wcslen(p) + 1);
    }
    FreeEnvironmentStringsW(env);
    for (const std::wstring &var : vars)
        block.insert(block.end(), var.c_str(), var.c_str() + var.size() + 1);
    block.push_back(L'\0');
    return block;
}

ProcessResult RunProcess(const std::wstring &exe, const std::wstring &cmdline, const ProcessOptions &opts)
{
    ProcessResult r;
    SECURITY_ATTRIBUTES sa = { sizeof(sa), nullptr, TRUE };
    HANDLE outRd, outWr, errRd, errWr, inRd, inWr;
    CreatePipe(&outRd, &outWr, &sa, 0);
    CreatePipe(&errRd, &errWr, &sa, 0);
    CreatePipe(&inRd, &inWr, &sa, 0);
    SetHandleInformation(outRd, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(errRd, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(inWr, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = inRd;
    si.hStdOutput = outWr;
    si.hStdError = errWr;
    PROCESS_INFORMATION pi = {};
    std::vector<wchar_t> cmd(cmdline.begin(), cmdline.end());
    cmd.push_back(L'\0');
    std::vector<wchar_t> env;
    if (!opts.extraEnv.empty())
        env = EnvironmentBlock(opts.extraEnv);
    r.started = CreateProcessW(exe.c_str(), cmd.data(), nullptr, nullptr, TRUE,
                               CREATE_UNICODE_ENVIRONMENT, env.empty() ? nullptr : env.data(),
                               opts.currentDir.empty() ? nullptr : opts.currentDir.c_str(), &si, &pi);
    CloseHandle(outWr);
    CloseHandle(errWr);
    CloseHandle(inRd);
    if (r.started)
    {
        PipeDrain drains[2] = { { outRd, &r.out }, { errRd, &r.err } };
        HANDLE ahDrains[2] = { CreateThread(nullptr, 0, DrainPipe, &drains[0], 0, nullptr),
                               CreateThread(nullptr, 0, DrainPipe, &drains[1], 0, nullptr) };
        if (!opts.stdinData.empty())
        {
            DWORD cb;
            WriteFile(inWr, opts.stdinData.data(), (DWORD)opts.stdinData.size(), &cb, nullptr);
        }
        CloseHandle(inWr);
        inWr = nullptr;
        if (WaitForSingleObject(pi.hProcess, opts.timeoutMs) == WAIT_TIMEOUT)
        {
            r.timedOut = true;
            TerminateProcess(pi.hProcess, 0xDEAD);
            WaitForSingleObject(pi.hProcess, INFINITE);
        }
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        r.exitCode = code;
        /* A process the program started may have inherited the pipes and outlive it (Wine
           starts its desktop process on a program's first window): what the program wrote
           is there at once, so stop reading soon instead of waiting for the last writer. */
        if (WaitForMultipleObjects(2, ahDrains, TRUE, 5000) == WAIT_TIMEOUT)
        {
            CancelSynchronousIo(ahDrains[0]);
            CancelSynchronousIo(ahDrains[1]);
            WaitForMultipleObjects(2, ahDrains, TRUE, INFINITE);
        }
        CloseHandle(ahDrains[0]);
        CloseHandle(ahDrains[1]);
        CloseHandle(pi.hProcess);
        CloseHandle(pi.hThread);
    }
    if (inWr)
        CloseHandle(inWr);
    CloseHandle(outRd);
    CloseHandle(errRd);
    return r;
}
