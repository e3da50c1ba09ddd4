/* Lazily bound functions behave like the platform's own: the probe program binds a library
 * of the tests' own, placed in the system directory for the duration, and the product's
 * USER32 bindings. A function or library that cannot be bound is reported and the process
 * ends in the breakpoint trap. */
#include <gtest/gtest.h>
#include <windows.h>
#include <string.h>
#include <string>
#include "process-runner.h"
#include "win-text.h"

namespace {

class LazyBinding : public ::testing::Test
{
protected:
    /* The probe loads the test library as a system library: from the system directory. */
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(CopyFileW(BuildPath("programs/nimblazyfn.dll").c_str(), LibraryCopy().c_str(), FALSE));
    }
    static void TearDownTestSuite()
    {
        DeleteFileW(LibraryCopy().c_str());
    }
    static std::wstring LibraryCopy()
    {
        return SystemDir() + L"\\nimblazyfn.dll";
    }
    static ProcessResult Probe(const wchar_t *pwszScenario)
    {
        return RunProcess(BuildPath("programs/lazy-probe.exe"), std::wstring(L"lazy-probe ") + pwszScenario);
    }
};

} /* namespace */

TEST_F(LazyBinding, CallsKeepArgumentsRegistersAndStack)
{
    /* stdcall pops its arguments, cdecl leaves them to the caller; the first call of each goes
     * through the resolver, the later one straight to the function. */
    ProcessResult const r = Probe(L"calls");
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, 0u) << r.err;
    EXPECT_EQ(r.err, "first calls\r\n"
                     "stdcall: 204, registers as set, stack 0\r\n"
                     "cdecl: 204, registers as set, stack -32\r\n"
                     "later calls\r\n"
                     "stdcall: 204, registers as set, stack 0\r\n"
                     "cdecl: 204, registers as set, stack -32\r\n");
}

TEST_F(LazyBinding, EachSlotIsBoundOnItsOwnFirstCall)
{
    /* No display here: each box call fails at once, after binding. */
    ProcessResult const r = Probe(L"user32");
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.exitCode, 0u) << r.err;
    EXPECT_EQ(r.err, "after MessageBoxW: B--\r\n"
                     "after MessageBoxA: BB-\r\n"
                     "library loaded once\r\n");
}

TEST_F(LazyBinding, WhatCannotBeBoundEndsInTheTrap)
{
    struct { const wchar_t *pwszScenario; const char *pszErr; } const s_aCases[] =
    {
        { L"missing-function",
          "Lazy loader failed to resolve symbol \"NimbLazyMissing\" in \"NIMBLAZYFN.DLL\": ERR_ENTRY_POINT_MISSING\n" },
        { L"missing-library", "Lazy loader failed to load \"NIMBNOSUCHLIB.DLL\": ERR_LIBRARY_MISSING\n" },
    };
    for (const auto &c : s_aCases)
    {
        /* The message comes first, on its own; whatever follows is the platform's crash
         * handling of the trap, which also decides the exit code. */
        ProcessResult const r = Probe(c.pwszScenario);
        ASSERT_TRUE(r.started);
        EXPECT_EQ(r.exitCode, static_cast<uint32_t>(EXCEPTION_BREAKPOINT)) << Narrow(c.pwszScenario);
        EXPECT_EQ(r.err.substr(0, strlen(c.pszErr)), c.pszErr);
        EXPECT_EQ(r.err.find("Lazy loader", 1), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}
