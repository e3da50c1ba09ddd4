/* winrun: starts a program under Wine with a command line built from its arguments (or,
 * after --cmdline, exactly the given one), passes its output through and exits with its
 * full 32-bit exit code, which it also prints, since a Unix shell sees only the low byte. */
#include "process-runner.h"
#include <windows.h>
#include <cstdio>

int wmain(int argc, wchar_t **argv)
{
    if (argc < 2)
    {
        fputs("usage: winrun PROGRAM [ARG...] | winrun --cmdline LINE PROGRAM\n", stderr);
        return 125;
    }
    std::wstring exe, cmdline;
    if (argc == 4 && wcscmp(argv[1], L"--cmdline") == 0)
    {
        cmdline = argv[2];
        exe = argv[3];
    }
    else
    {
        exe = argv[1];
        cmdline = QuoteArg(exe);
        for (int i = 2; i < argc; i++)
            cmdline += L" " + QuoteArg(argv[i]);
    }
    ProcessResult r = RunProcess(exe, cmdline);
    if (!r.started)
    {
        fprintf(stderr, "winrun: cannot start the program (error %lu)\n", GetLastError());
        return 125;
    }
    fwrite(r.out.data(), 1, r.out.size(), stdout);
    fwrite(r.err.data(), 1, r.err.size(), stderr);
    fprintf(stdout, "[exit code %lu]\n", (unsigned long)r.exitCode);
    return (int)r.exitCode;
}
