/* A program on the runtime's own start-up that shows what start-up hands to main and what
 * it does at exit. On standard output:
 *   "init=<1 when the plain initialiser ran> ctor=<1 when the global constructor ran>
 *    envp=<null|set>", then "argc=N", then every argument on its own line as its bytes in
 *   lower-case hexadecimal (an empty argument gives an empty line).
 * Arguments that also do something:
 *   exit=N          main returns N (decimal, a leading "-" allowed, or 0x and hexadecimal)
 *   atexit=N        registers N (at most 8) at-exit callbacks; callback K prints "atexit K"
 *   atexit-nested   registers a callback that registers another one while exit runs
 *   path            prints the executable path record: "path=", "dir=", "name=", "len="
 *   smash           overruns a stack buffer, which the stack protector must catch
 * At exit, after the at-exit callbacks: "dtor" (the global object's destructor), then
 * "preterm" and "term" from the terminator tables.
 * PROBE_INIT_FAIL=N in the environment makes the value-returning initialiser return N. */
#include "internal/startup.h"
#include <windows.h>

static void ProbeWrite(const char *psz)
{
    DWORD cb = 0;
    while (psz[cb])
        cb++;
    DWORD cbWritten;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), psz, cb, &cbWritten, nullptr);
}

static void ProbeWriteU32(uint32_t u)
{
    char szBuf[12];
    char *pch = &szBuf[sizeof(szBuf) - 1];
    *pch = '\0';
    do
        *--pch = static_cast<char>('0' + u % 10);
    while (u /= 10);
    ProbeWrite(pch);
}

static bool ProbeStartsWith(const char *psz, const char *pszPrefix, const char **ppszRest)
{
    while (*pszPrefix)
        if (*psz++ != *pszPrefix++)
            return false;
    *ppszRest = psz;
    return true;
}

static bool ProbeEquals(const char *psz1, const char *psz2)
{
    const char *pszRest;
    return ProbeStartsWith(psz1, psz2, &pszRest) && !*pszRest;
}

static uint32_t ProbeParseNumber(const char *psz)
{
    bool const fNegative = *psz == '-';
    if (fNegative)
        psz++;
    uint32_t uBase = 10;
    if (psz[0] == '0' && psz[1] == 'x')
        uBase = 16, psz += 2;
    uint32_t u = 0;
    for (; *psz; psz++)
    {
        char const ch = *psz;
        uint32_t const uDigit = ch >= '0' && ch <= '9' ? uint32_t(ch - '0')
                              : ch >= 'a' && ch <= 'f' ? uint32_t(ch - 'a' + 10) : 99;
        if (uDigit >= uBase)
            break;
        u = u * uBase + uDigit;
    }
    return fNegative ? 0u - u : u;
}

/* The tables: one entry in each. */
static bool g_fInitRan = false;

static int ProbeInitRc(void)
{
    char szValue[32];
    DWORD const cch = GetEnvironmentVariableA("PROBE_INIT_FAIL", szValue, sizeof(szValue));
    if (cch == 0 || cch >= sizeof(szValue))
        return 0;
    return static_cast<int>(ProbeParseNumber(szValue));
}

static void ProbeInit(void) { g_fInitRan = true; }
static void ProbePreTerm(void) { ProbeWrite("preterm\n"); }
static void ProbeTerm(void) { ProbeWrite("term\n"); }

[[gnu::used, gnu::section(".CRT$XIU")]] static constexpr PFNRTSTARTUPINITRC s_pfnProbeInitRc = ProbeInitRc;
[[gnu::used, gnu::section(".CRT$XCU")]] static constexpr PFNRT s_pfnProbeInit = ProbeInit;
[[gnu::used, gnu::section(".CRT$XPU")]] static constexpr PFNRT s_pfnProbePreTerm = ProbePreTerm;
[[gnu::used, gnu::section(".CRT$XTU")]] static constexpr PFNRT s_pfnProbeTerm = ProbeTerm;

/* A global object: its constructor runs from main's prologue, its destructor at exit. The
 * constructor asks the system so that the compiler cannot initialise the flag statically. */
struct ProbeGlobal
{
    bool fConstructed;
    ProbeGlobal() : fConstructed(GetCurrentProcessId() != 0) {}
    ~ProbeGlobal() { ProbeWrite("dtor\n"); }
};
static ProbeGlobal g_ProbeGlobal;

template <unsigned a_iCallback>
static void ProbeAtExit(void)
{
    ProbeWrite("atexit ");
    ProbeWriteU32(a_iCallback);
    ProbeWrite("\n");
}

namespace {

constexpr PFNRT g_apfnAtExit[] = {
    ProbeAtExit<0>, ProbeAtExit<1>, ProbeAtExit<2>, ProbeAtExit<3>,
    ProbeAtExit<4>, ProbeAtExit<5>, ProbeAtExit<6>, ProbeAtExit<7>,
};

} /* namespace */

static void ProbeAtExitInner(void) { ProbeWrite("nested inner\n"); }
static void ProbeAtExitOuter(void)
{
    ProbeWrite("nested outer\n");
    rtAtExitRegister(ProbeAtExitInner);
}

[[gnu::noinline]] static void ProbeSmash(const char *pszFill)
{
    char szBuf[8];
    char *volatile pch = szBuf;
    for (unsigned i = 0; i < 24; i++)
        pch[i] = pszFill[i % 4];
    ProbeWrite(szBuf);
}

extern "C" int main(int argc, char **argv, char **envp)
{
    ProbeWrite(g_fInitRan ? "init=1" : "init=0");
    ProbeWrite(g_ProbeGlobal.fConstructed ? " ctor=1" : " ctor=0");
    ProbeWrite(envp ? " envp=set\n" : " envp=null\n");
    ProbeWrite("argc=");
    ProbeWriteU32(static_cast<uint32_t>(argc));
    ProbeWrite("\n");

    uint32_t uExit = 0;
    for (int i = 0; i < argc; i++)
    {
        const char *pszArg = argv[i];
        for (const char *pch = pszArg; *pch; pch++)
        {
            char const szHex[3] = { "0123456789abcdef"[(*pch >> 4) & 0xf], "0123456789abcdef"[*pch & 0xf], '\0' };
            ProbeWrite(szHex);
        }
        ProbeWrite("\n");
    }
    for (int i = 0; i < argc; i++)
    {
        const char *pszArg = argv[i];
        const char *pszValue;
        if (ProbeStartsWith(pszArg, "exit=", &pszValue))
            uExit = ProbeParseNumber(pszValue);
        else if (ProbeStartsWith(pszArg, "atexit=", &pszValue))
        {
            uint32_t const c = ProbeParseNumber(pszValue);
            for (uint32_t iCallback = 0; iCallback < c && iCallback < RT_ELEMENTS(g_apfnAtExit); iCallback++)
                rtAtExitRegister(g_apfnAtExit[iCallback]);
        }
        else if (ProbeEquals(pszArg, "atexit-nested"))
            rtAtExitRegister(ProbeAtExitOuter);
        else if (ProbeEquals(pszArg, "path"))
        {
            ProbeWrite("path=");
            ProbeWrite(g_ProcExecPath.szPath);
            ProbeWrite("\ndir=");
            ProbeWriteU32(g_ProcExecPath.cchDir);
            ProbeWrite(" name=");
            ProbeWriteU32(g_ProcExecPath.offName);
            ProbeWrite(" len=");
            ProbeWriteU32(g_ProcExecPath.cchPath);
            ProbeWrite("\n");
        }
        else if (ProbeEquals(pszArg, "smash"))
            ProbeSmash("XXXX");
    }
    return static_cast<int>(uExit);
}
