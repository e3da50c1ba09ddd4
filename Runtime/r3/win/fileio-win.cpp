/* Reading and writing files on Windows: whole transfers or one transfer with its count,
 * smaller chunks when the system runs short of memory for a large request, and the
 * wording of a disk-full failure by the file system's largest file. */
#include "internal/file-win.h"
#include "rt/err.h"
#include "internal/pathint-win.h"

/* How reads and writes differ; everything else about a transfer is shared. */
struct RTFILEXFERDIR
{
    bool     fWrite;
    /** Chunk limit once the system has refused a large request for lack of memory. */
    size_t   cbChunkMax;
    /** Status of a call that transferred nothing while the whole size was asked for. */
    RTSTATUS rcNothing;
};

namespace {

constexpr RTFILEXFERDIR g_XferRead  = { false, 16384, ERR_FILE_END_REACHED };
constexpr RTFILEXFERDIR g_XferWrite = { true,  32768, ERR_DEVICE_WRITE_FAULT };

} /* namespace */

/* The count goes straight to the caller's variable: a local of our own would be one more
   protected stack slot on every transfer. */
static bool rtFileXferOnce(RTFILEXFERDIR const &Dir, HANDLE hFile, uint8_t *pb, size_t cb, DWORD *pcbDone)
{
    *pcbDone = 0;
    BOOL const fOk = Dir.fWrite ? WriteFile(hFile, pb, static_cast<DWORD>(cb), pcbDone, nullptr)
                                : ReadFile(hFile, pb, static_cast<DWORD>(cb), pcbDone, nullptr);
    return fOk != FALSE;
}

/* Converts a failed call's error; a write that ran out of space is worded by the size the
   file would have reached. */
static RTSTATUS rtFileXferFailed(RTFILEXFERDIR const &Dir, HANDLE hFile, DWORD dwErr, size_t cbRequest)
{
    RTSTATUS const rc = RTErrConvertFromWinError(dwErr);
    if (Dir.fWrite && rc == ERR_NO_SPACE_LEFT)
        return RTFileCheckSizeLimit(reinterpret_cast<RTFILE>(hFile), RTFileGetPos(reinterpret_cast<RTFILE>(hFile)) + cbRequest);
    return rc;
}

/* A large request the system refused for lack of memory goes again in chunks of half its
   size, halved again on each further refusal while that leaves more than 8 bytes. */
static RTSTATUS rtFileXferChunked(RTFILEXFERDIR const &Dir, HANDLE hFile, uint8_t *pb, size_t cb, size_t *pcbDone)
{
    size_t cbChunk = ((cb / 2 + (cb & 1)) + 255) & ~static_cast<size_t>(255);
    if (cbChunk > Dir.cbChunkMax)
        cbChunk = Dir.cbChunkMax;
    size_t off = 0;
    while (off < cb)
    {
        size_t const cbThis = cb - off < cbChunk ? cb - off : cbChunk;
        DWORD cbDone;
        if (rtFileXferOnce(Dir, hFile, pb + off, cbThis, &cbDone))
        {
            if (pcbDone)
            {
                *pcbDone = cbDone;
                return INF_SUCCESS;
            }
            if (cbDone == 0)
                return Dir.rcNothing;
            off += cbDone;
            continue;
        }
        DWORD const dwErr = GetLastError();
        if (dwErr == ERROR_NOT_ENOUGH_MEMORY && cbChunk > 8)
        {
            cbChunk /= 2;
            continue;
        }
        return rtFileXferFailed(Dir, hFile, dwErr, cbThis);
    }
    return INF_SUCCESS;
}

static RTSTATUS rtFileXfer(RTFILEXFERDIR const &Dir, RTFILE hFile, uint8_t *pb, size_t cb, size_t *pcbDone)
{
    HANDLE const h = reinterpret_cast<HANDLE>(hFile);
    DWORD cbDone;
    if (!rtFileXferOnce(Dir, h, pb, cb, &cbDone))
    {
        DWORD const dwErr = GetLastError();
        if (dwErr == ERROR_NOT_ENOUGH_MEMORY)
            return rtFileXferChunked(Dir, h, pb, cb, pcbDone);
        return rtFileXferFailed(Dir, h, dwErr, cb);
    }
    if (pcbDone)
    {
        *pcbDone = cbDone < cb ? cbDone : cb;
        return INF_SUCCESS;
    }
    while (cbDone < cb)
    {
        DWORD cbMore;
        if (!rtFileXferOnce(Dir, h, pb + cbDone, cb - cbDone, &cbMore))
            return rtFileXferFailed(Dir, h, GetLastError(), cb - cbDone);
        if (cbMore == 0)
            return Dir.rcNothing;
        cbDone += cbMore;
    }
    return INF_SUCCESS;
}

RTSTATUS RTFileRead(RTFILE hFile, void *pvBuf, size_t cbToRead, size_t *pcbRead)
{
    if (cbToRead == 0)
    {
        if (pcbRead)
            *pcbRead = 0;
        return INF_SUCCESS;
    }
    return rtFileXfer(g_XferRead, hFile, static_cast<uint8_t *>(pvBuf), cbToRead, pcbRead);
}

RTSTATUS RTFileWrite(RTFILE hFile, const void *pvBuf, size_t cbToWrite, size_t *pcbWritten)
{
    if (cbToWrite == 0)
        return INF_SUCCESS;
    /* The shared transfer code only reads through the pointer when writing. */
    return rtFileXfer(g_XferWrite, hFile, static_cast<uint8_t *>(const_cast<void *>(pvBuf)), cbToWrite, pcbWritten);
}

/* Largest file a file system holds, by kind; 0 is unlimited. */
static uint64_t rtFileMaxSizeOfKind(uint32_t enmKind)
{
    switch (enmKind)
    {
        case RTFSKIND_ISO9660: return UINT64_C(1) << 43;
        case RTFSKIND_FAT:     return UINT64_C(1) << 32;
        case RTFSKIND_HPFS:    return UINT64_C(1) << 31;
        default:               return 0;
    }
}

RTSTATUS RTFileCheckSizeLimit(RTFILE hFile, uint64_t cbSize)
{
    if (cbSize < 0x7FFFFFFF)
        return ERR_NO_SPACE_LEFT;
    uint32_t enmKind = RTFSKIND_UNKNOWN;
    if (RT_FAILURE(RTFileFsKind(hFile, &enmKind)))
        return ERR_NO_SPACE_LEFT;
    uint64_t const cbMax = rtFileMaxSizeOfKind(enmKind);
    return cbMax && cbSize >= cbMax ? ERR_FILE_TOO_BIG : ERR_NO_SPACE_LEFT;
}
