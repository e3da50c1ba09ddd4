/* Start-up pieces shared by every program on the runtime: the raw standard-error writers
 * used before anything else is set up (and by the fatal-condition reports), the fix-up of
 * section tails for very old loaders, and the executable path record. */
#include "internal/startup.h"
#include "internal/path.h"
#include "rt/string.h"
#include <windows.h>

RTPROCEXECPATH g_ProcExecPath;

/*
 * Raw writers. Each piece is formatted on the stack and written with one WriteFile call,
 * unbuffered, so that they work before the heap or the streams exist and from a corrupted
 * process.
 */

void rtStartupWrite(const char *pch, size_t cch)
{
    DWORD cbWritten;
    WriteFile(GetStdHandle(STD_ERROR_HANDLE), pch, static_cast<DWORD>(cch), &cbWritten, nullptr);
}

/** Formats @p u backwards so that it ends at @p pchEnd; returns the first character. */
static char *rtStartupFormatU32(char *pchEnd, uint32_t u, unsigned uBase, unsigned cMinDigits)
{
    char *pch = pchEnd;
    do
    {
        *--pch = "0123456789abcdef"[u % uBase];
        u /= uBase;
    } while (u || static_cast<unsigned>(pchEnd - pch) < cMinDigits);
    return pch;
}

void rtStartupWriteStatus(const char *pch, size_t cch, RTSTATUS rc)
{
    rtStartupWrite(pch, cch);
    char szBuf[16];
    char *pchEnd = &szBuf[sizeof(szBuf) - 2];
    pchEnd[0] = '\r';
    pchEnd[1] = '\n';
    /* Negating in unsigned arithmetic also covers INT32_MIN. */
    uint32_t const uMagnitude = rc < 0 ? 0u - static_cast<uint32_t>(rc) : static_cast<uint32_t>(rc);
    char *pchStart = rtStartupFormatU32(pchEnd, uMagnitude, 10, 1);
    if (rc < 0)
        *--pchStart = '-';
    rtStartupWrite(pchStart, static_cast<size_t>(&szBuf[sizeof(szBuf)] - pchStart));
}

void rtStartupWriteDecHex(uint32_t u)
{
    char szBuf[32];
    char *pchEnd = &szBuf[sizeof(szBuf) - 1];
    *pchEnd = ')';
    char *pch = rtStartupFormatU32(pchEnd, u, 16, 1);
    *--pch = 'x';
    *--pch = '0';
    *--pch = '(';
    *--pch = ' ';
    pch = rtStartupFormatU32(pch, u, 10, 1);
    rtStartupWrite(pch, static_cast<size_t>(&szBuf[sizeof(szBuf)] - pch));
}

void rtStartupWriteHex(uint32_t u)
{
    char szBuf[16];
    char *pchEnd = &szBuf[sizeof(szBuf)];
    char *pch = rtStartupFormatU32(pchEnd, u, 16, 1);
    *--pch = 'x';
    *--pch = '0';
    rtStartupWrite(pch, static_cast<size_t>(pchEnd - pch));
}

void rtStartupWriteHex8(uint32_t u)
{
    char szBuf[8];
    char *pchEnd = &szBuf[sizeof(szBuf)];
    rtStartupWrite(rtStartupFormatU32(pchEnd, u, 16, 8), 8);
}

void rtStartupWriteString(const char *psz)
{
    if (RT_VALID_PTR(psz))
    {
        size_t cch = 0;
        while (psz[cch])
            cch++;
        rtStartupWrite(psz, cch);
    }
    else
    {
        char szBuf[24] = "<pszString=";
        char *pchEnd = &szBuf[11 + 8];
        rtStartupFormatU32(pchEnd, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(psz)), 16, 8);
        *pchEnd = '>';
        rtStartupWrite(szBuf, 11 + 8 + 1);
    }
}

/*
 * Section tails. Loaders of the oldest Win32 systems map the bytes between the end of a
 * section's raw data and the end of its virtual size with whatever the file held there
 * instead of zeros, and the compiler relies on zero-initialised data. This runs before the
 * stack cookie is seeded, so it must not be instrumented.
 */

typedef LONG (NTAPI *PFNNTPROTECTVIRTUALMEMORY)(HANDLE hProcess, PVOID *ppvBase, SIZE_T *pcb,
                                                ULONG fNewProtect, ULONG *pfOldProtect);

static inline void rtStartupTrap(void)
{
    __asm__ __volatile__("int3");
}

[[gnu::no_stack_protector]] static void rtStartupZeroBytes(uint8_t *pb, size_t cb)
{
    /* A volatile store per byte: this may run before the memory primitives can be trusted
     * and must not be folded into a call to one. */
    volatile uint8_t *pbDst = pb;
    while (cb-- > 0)
        *pbDst++ = 0;
}

[[gnu::no_stack_protector]] void rtStartupZeroSectionTails(void *pvImageBase)
{
    uint8_t *pbImage = static_cast<uint8_t *>(pvImageBase);
    IMAGE_DOS_HEADER const *pDosHdr = reinterpret_cast<IMAGE_DOS_HEADER const *>(pbImage);
    if (pDosHdr->e_magic != IMAGE_DOS_SIGNATURE)
    {
        rtStartupTrap();
        return;
    }
    IMAGE_NT_HEADERS32 const *pNtHdrs = reinterpret_cast<IMAGE_NT_HEADERS32 const *>(pbImage + pDosHdr->e_lfanew);
    if (pNtHdrs->Signature != IMAGE_NT_SIGNATURE)
    {
        rtStartupTrap();
        return;
    }

    static PFNNTPROTECTVIRTUALMEMORY s_pfnNtProtectVirtualMemory;
    IMAGE_SECTION_HEADER const *paSections = IMAGE_FIRST_SECTION(pNtHdrs);
    for (unsigned i = 0; i < pNtHdrs->FileHeader.NumberOfSections; i++)
    {
        IMAGE_SECTION_HEADER const &Section = paSections[i];
        if (Section.Misc.VirtualSize <= Section.SizeOfRawData)
            continue;
        uint8_t *pbTail = pbImage + Section.VirtualAddress + Section.SizeOfRawData;
        size_t const cbTail = Section.Misc.VirtualSize - Section.SizeOfRawData;
        if (Section.Characteristics & IMAGE_SCN_MEM_WRITE)
        {
            rtStartupZeroBytes(pbTail, cbTail);
            continue;
        }

        if (!s_pfnNtProtectVirtualMemory)
        {
            HMODULE hModNtDll = GetModuleHandleW(L"ntdll.dll");
            s_pfnNtProtectVirtualMemory = hModNtDll ? reinterpret_cast<PFNNTPROTECTVIRTUALMEMORY>(
                reinterpret_cast<void *>(GetProcAddress(hModNtDll, "NtProtectVirtualMemory"))) : nullptr;
            if (!s_pfnNtProtectVirtualMemory)
            {
                rtStartupTrap();
                return;
            }
        }
        uintptr_t const uPageMask = 0xfff;
        uintptr_t const uFirst = reinterpret_cast<uintptr_t>(pbTail) & ~uPageMask;
        uintptr_t const uEnd = (reinterpret_cast<uintptr_t>(pbTail) + cbTail + uPageMask) & ~uPageMask;
        PVOID pvRegion = reinterpret_cast<PVOID>(uFirst);
        SIZE_T cbRegion = uEnd - uFirst;
        ULONG const fProt = Section.Characteristics & IMAGE_SCN_MEM_EXECUTE ? PAGE_EXECUTE_READWRITE : PAGE_READWRITE;
        ULONG fOldProt = 0;
        if (s_pfnNtProtectVirtualMemory(GetCurrentProcess(), &pvRegion, &cbRegion, fProt, &fOldProt) < 0)
        {
            rtStartupTrap();
            return;
        }
        rtStartupZeroBytes(pbTail, cbTail);
        ULONG fIgnored;
        s_pfnNtProtectVirtualMemory(GetCurrentProcess(), &pvRegion, &cbRegion, fOldProt, &fIgnored);
    }
}

[[gnu::no_stack_protector]] void rtStartupFixSectionTails(void *pvImageBase)
{
    DWORD const uVersion = GetVersion();
    if (LOBYTE(LOWORD(uVersion)) == 3 && HIBYTE(LOWORD(uVersion)) < 50)
        rtStartupZeroSectionTails(pvImageBase);
}

/*
 * The executable path record.
 */


void rtStartupSplitExecPath(const char *pszPath, uint32_t cchPath, uint32_t *pcchDir, uint32_t *poffName)
{
    uint32_t offName = 0;
    for (uint32_t off = 0; off < cchPath; off++)
        if (rtPathIsSepOrColon(pszPath[off]))
            offName = off + 1;
    uint32_t cchDir = offName;
    while (cchDir >= 2 && rtPathIsAnySep(pszPath[cchDir - 1]) && pszPath[cchDir - 2] != ':')
        cchDir--;
    *pcchDir = cchDir;
    *poffName = offName;
}

void rtStartupSetExecPath(const wchar_t *pwszPath, uint32_t cwcResult, uint32_t uLastError)
{
    RTPROCEXECPATH &Rec = g_ProcExecPath;
    Rec.szPath[0] = '\0';
    Rec.cchPath = Rec.cchDir = Rec.offName = 0;

    /* A full buffer means the name was cut short: recording the truncated path would send
     * every later user of it to the wrong place. */
    if (cwcResult == 0 || cwcResult >= RTPROCEXECPATH_MAX)
    {
        rtStartupWriteLiteral("initProcExecPath: GetModuleFileNameW failed: ");
        rtStartupWriteDecHex(cwcResult == 0 ? uLastError : ERROR_INSUFFICIENT_BUFFER);
        rtStartupWriteLiteral("\r\n");
        return;
    }

    char *pszPath = Rec.szPath;
    size_t cchPath = 0;
    RTSTATUS rc = RTUtf16ToUtf8Ex(pwszPath, cwcResult, &pszPath, sizeof(Rec.szPath), &cchPath);
    if (RT_FAILURE(rc))
    {
        Rec.szPath[0] = '\0';
        rtStartupWriteLiteralStatus("initProcExecPath: RTUtf16ToUtf8Ex failed: ", rc);
        return;
    }
    Rec.cchPath = static_cast<uint32_t>(cchPath);
    rtStartupSplitExecPath(Rec.szPath, Rec.cchPath, &Rec.cchDir, &Rec.offName);
}

void initProcExecPath(void)
{
    wchar_t wszPath[RTPROCEXECPATH_MAX];
    DWORD const cwc = GetModuleFileNameW(nullptr, wszPath, RTPROCEXECPATH_MAX);
    rtStartupSetExecPath(wszPath, cwc, GetLastError());
}
