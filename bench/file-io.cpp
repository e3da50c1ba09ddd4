/* File throughput: writing a 64 MiB file and reading it back through RTFileWrite and
 * RTFileRead, side by side with WriteFile and ReadFile on the same buffer sizes. Ratios are
 * the platform's time over ours: 1.00 is parity, above 1 is faster than the platform calls.
 *
 * Both sides work on files of their own at the same time, taking turns every 4 MiB, so
 * that load which comes and goes on a shared machine falls on both alike. */
#include <windows.h>
#include <stdio.h>
#include <algorithm>
#include <string>
#include <vector>
#include "rt/file.h"
#include "bench-timer.h"

namespace {

constexpr size_t kFileSize  = 64u << 20;
constexpr size_t kSliceSize = 4u << 20;
constexpr int    kRounds    = 5;

/* One side of the comparison: its file and how it moves one slice. */
struct Side
{
    virtual ~Side() = default;
    virtual bool Open(bool fWrite) = 0;
    virtual bool Slice(std::vector<uint8_t> &buf, bool fWrite) = 0;
    virtual void Close() = 0;
    double seconds = 0;
};

struct RuntimeSide : Side
{
    std::string path;
    RTFILE      h = NIL_RTFILE;
    bool Open(bool fWrite) override
    {
        uint64_t const fOpen = fWrite ? RTFOPEN_WRITE | RTFOPEN_DENY_WRITE | RTFOPEN_CREATE_REPLACE
                                      : RTFOPEN_READ | RTFOPEN_DENY_WRITE | RTFOPEN_OPEN;
        return RT_SUCCESS(RTFileOpenNamed(&h, path.c_str(), fOpen));
    }
    bool Slice(std::vector<uint8_t> &buf, bool fWrite) override
    {
        for (size_t off = 0; off < kSliceSize; off += buf.size())
            if (RT_FAILURE(fWrite ? RTFileWrite(h, buf.data(), buf.size(), nullptr)
                                  : RTFileRead(h, buf.data(), buf.size(), nullptr)))
                return false;
        return true;
    }
    void Close() override { RTFileClose(h); }
};

/* The same access and sharing as the runtime side asks for. */
struct PlatformSide : Side
{
    std::wstring path;
    HANDLE       h = INVALID_HANDLE_VALUE;
    bool Open(bool fWrite) override
    {
        h = CreateFileW(path.c_str(), fWrite ? FILE_GENERIC_WRITE : FILE_GENERIC_READ, FILE_SHARE_READ, nullptr,
                        fWrite ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        return h != INVALID_HANDLE_VALUE;
    }
    bool Slice(std::vector<uint8_t> &buf, bool fWrite) override
    {
        DWORD cb;
        for (size_t off = 0; off < kSliceSize; off += buf.size())
            if (!(fWrite ? WriteFile(h, buf.data(), DWORD(buf.size()), &cb, nullptr)
                         : ReadFile(h, buf.data(), DWORD(buf.size()), &cb, nullptr)) || cb != buf.size())
                return false;
        return true;
    }
    void Close() override { CloseHandle(h); }
};

/* One direction of one round: both files opened, the slices moved in turns (the side that
   goes first alternates), only the transfers timed. */
bool Direction(Side &ours, Side &ref, std::vector<uint8_t> &buf, bool fWrite)
{
    ours.seconds = ref.seconds = 0;
    if (!ours.Open(fWrite))
        return false;
    if (!ref.Open(fWrite))
    {
        ours.Close();
        return false;
    }
    bool ok = true;
    for (size_t iSlice = 0; iSlice < kFileSize / kSliceSize && ok; iSlice++)
        for (int iTurn = 0; iTurn < 2 && ok; iTurn++)
        {
            Side &side = (iSlice + iTurn) % 2 ? ours : ref;
            double const t0 = BenchNow();
            ok = side.Slice(buf, fWrite);
            side.seconds += BenchNow() - t0;
        }
    ours.Close();
    ref.Close();
    return ok;
}

} /* namespace */

int main()
{
    wchar_t wszTmp[MAX_PATH + 1];
    DWORD const cwc = GetTempPathW(MAX_PATH + 1, wszTmp);
    std::wstring const base = std::wstring(wszTmp, cwc) + L"nimb-bench-file-io-" + std::to_wstring(GetCurrentProcessId());
    RuntimeSide ours;
    PlatformSide ref;
    ref.path = base + L"-platform";
    std::wstring const oursPathW = base + L"-runtime";
    char szPath[MAX_PATH * 3];
    WideCharToMultiByte(CP_UTF8, 0, oursPathW.c_str(), -1, szPath, sizeof(szPath), nullptr, nullptr);
    ours.path = szPath;

    printf("file-io: %u MiB written then read back, both sides in turns every %u MiB, %d rounds;"
           " MiB/s of the best round, ratio = median of the rounds' platform time over ours\n",
           unsigned(kFileSize >> 20), unsigned(kSliceSize >> 20), kRounds);
    int rcExit = 0;
    for (size_t cbBuf : { size_t(4096), size_t(64) << 10, size_t(1) << 20 })
    {
        std::vector<uint8_t> buf(cbBuf);
        for (size_t i = 0; i < cbBuf; i++)
            buf[i] = uint8_t(i * 31);
        std::vector<double> oursW, refW, oursR, refR;
        bool ok = true;
        for (int r = 0; r < kRounds && ok; r++)
        {
            /* Fresh files each round: replacing one costs the freeing of its blocks. */
            DeleteFileW(oursPathW.c_str());
            DeleteFileW(ref.path.c_str());
            ok = Direction(ours, ref, buf, true);
            oursW.push_back(ours.seconds);
            refW.push_back(ref.seconds);
            ok = ok && Direction(ours, ref, buf, false);
            oursR.push_back(ours.seconds);
            refR.push_back(ref.seconds);
        }
        DeleteFileW(oursPathW.c_str());
        DeleteFileW(ref.path.c_str());
        if (!ok)
        {
            printf("buffer %7zu: failed\n", cbBuf);
            rcExit = 1;
            continue;
        }
        std::vector<double> ratioW, ratioR;
        for (int r = 0; r < kRounds; r++)
        {
            ratioW.push_back(refW[r] / oursW[r]);
            ratioR.push_back(refR[r] / oursR[r]);
        }
        double const mib = double(kFileSize) / (1 << 20);
        printf("buffer %7zu  write: RTFileWrite %7.0f MiB/s  WriteFile %7.0f MiB/s  ratio %.2f"
               "   read: RTFileRead %7.0f MiB/s  ReadFile %7.0f MiB/s  ratio %.2f\n",
               cbBuf, mib / *std::min_element(oursW.begin(), oursW.end()), mib / *std::min_element(refW.begin(), refW.end()),
               BenchMedian(ratioW), mib / *std::min_element(oursR.begin(), oursR.end()),
               mib / *std::min_element(refR.begin(), refR.end()), BenchMedian(ratioR));
    }
    return rcExit;
}
