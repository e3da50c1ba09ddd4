/* Test support: starts a Windows program with an exact UTF-16 command line, collects its
 * standard output and standard error separately and reads its full 32-bit exit code. */
#pragma once
#include <string>
#include <vector>
#include <cstdint>

struct ProcessResult
{
    bool        started = false;   /**< CreateProcessW succeeded */
    uint32_t    exitCode = 0;      /**< GetExitCodeProcess, whole */
    bool        timedOut = false;  /**< killed after the time limit */
    std::string out;               /**< standard output bytes, unchanged */
    std::string err;               /**< standard error bytes, unchanged */
};

struct ProcessOptions
{
    std::wstring extraEnv;         /**< "NAME=value" pairs separated by L'\n', replacing ours
                                        (and a later pair an earlier one of the same name) */
    std::wstring currentDir;       /**< empty: inherit */
    std::string  stdinData;        /**< written to the program's standard input, then closed */
    unsigned     timeoutMs = 60000;
};

/** Runs @p exe (a Windows path) with the exact command line @p cmdline (which, by
 *  convention, starts with the program name). */
ProcessResult RunProcess(const std::wstring &exe, const std::wstring &cmdline,
                         const ProcessOptions &opts = {});

/** Removes the installed product @p productCode silently through msiexec; the result does
 *  not matter (a test may remove what it never installed). */
void UninstallProduct(const std::wstring &productCode);

/** An environment block for CreateProcessW: ours, with the "NAME=value" lines of @p extra
 *  (separated by L'\n') in place of the variables of the same names. */
std::vector<wchar_t> EnvironmentBlock(const std::wstring &extra);

/** Windows path of a file in the build tree, given relative to it ("bin/NimbStub.exe"). */
std::wstring BuildPath(const char *relative);

/** Quotes one argument by the platform's command-line rules. */
std::wstring QuoteArg(const std::wstring &arg);

/** UTF-8 to UTF-16 and back through the platform, for test texts. */
std::wstring Widen(const std::string &s);
std::string  Narrow(const std::wstring &s);
