/* The least an extraction of one package can do, for the extraction benchmark: the blob
 * resource "BIN_00" of the installer named by NIMB_BENCH_INSTALLER, loaded as data, is
 * written to NIMB_BENCH_OUTPUT in one WriteFile call, read back with ReadFile in blocks of
 * 65,536 bytes and compared; exit code 0, or 1 on a difference, 2 on any failure. With
 * NIMB_BENCH_COPY set, the file it names is copied there with CopyFileW instead; with
 * NIMB_BENCH_WRITE_ONLY set, the resource is written and nothing more (the least any
 * extraction from the loaded image does, whatever its verification). */
#include "reference-support.h"
#include <windows.h>

namespace {

constexpr DWORD BLOCK_SIZE = 65536;
alignas(16) BYTE g_abBlock[BLOCK_SIZE];

} /* namespace */

extern "C" void ReferenceEntry(void)
{
    WCHAR wszInstaller[MAX_PATH], wszOutput[MAX_PATH], wszCopy[MAX_PATH];
    if (!readEnv(L"NIMB_BENCH_OUTPUT", wszOutput))
        exitWith(2);
    if (readEnv(L"NIMB_BENCH_COPY", wszCopy))
        exitWith(CopyFileW(wszCopy, wszOutput, FALSE) ? 0 : 2);
    if (!readEnv(L"NIMB_BENCH_INSTALLER", wszInstaller))
        exitWith(2);

    DWORD cbBlob = 0;
    const BYTE *pbBlob = LoadInstallerBlob(wszInstaller, &cbBlob);
    if (!pbBlob)
        exitWith(2);

    if (!WriteBlobFile(wszOutput, pbBlob, cbBlob))
        exitWith(2);
    if (GetEnvironmentVariableW(L"NIMB_BENCH_WRITE_ONLY", nullptr, 0))
        exitWith(0);

    DWORD cbDone = 0;
    HANDLE const hFile = CreateFileW(wszOutput, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        exitWith(2);
    for (DWORD off = 0; off < cbBlob; off += cbDone)
    {
        DWORD const cbWant = cbBlob - off < BLOCK_SIZE ? cbBlob - off : BLOCK_SIZE;
        if (!ReadFile(hFile, g_abBlock, cbWant, &cbDone, nullptr) || cbDone != cbWant)
            exitWith(2);
        /* Word by word: blocks start at multiples of 65,536 and the blob is aligned. */
        auto const *puRead = reinterpret_cast<const DWORD *>(g_abBlock);
        auto const *puBlob = reinterpret_cast<const DWORD *>(pbBlob + off);
        DWORD i = 0;
        for (; i < cbWant / sizeof(DWORD); i++)
            if (puRead[i] != puBlob[i])
                exitWith(1);
        for (i *= sizeof(DWORD); i < cbWant; i++)
            if (g_abBlock[i] != pbBlob[off + i])
                exitWith(1);
    }
    CloseHandle(hFile);
    exitWith(0);
}
