/* File throughput: writing a 64 MiB file and reading it back through RTFileWrite and
 * RTFileRead, side by side with WriteFile and ReadFile on the same buffer sizes. Ratios are
 * reference time over ours: 1.00 is parity, above 1 is faster than the platform calls. */
#include <windows.h>
#include <stdio.h>
#include <string>
#include <vector>
#include "rt/file.h"

namespace {

constexpr size_t kFileSize = 64u << 20;
constexpr int    kRounds   = 7;

double Now()
{
    static LARGE_INTEGER s_freq;
    if (!s_freq.QuadPart)
        QueryPerformanceFrequency(&s_freq);
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) / double(s_freq.QuadPart);
}

/* Best time of each direction over the rounds: the least disturbed by other work. */
struct Times
{
    double write = 1e30;
    double read = 1e30;
    void Add(double w, double r)
    {
        write = w < write ? w : write;
        read  = r < read ? r : read;
    }
};

/* One pass through the runtime: create, write everything, reopen, read everything. Only
   the transfers are timed; opening and closing are the same platform calls on both sides. */
bool PassRuntime(const std::string &path, std::vector<uint8_t> &buf, Times &t)
{
    RTFILE h;
    if (RT_FAILURE(RTFileOpenNamed(&h, path.c_str(), RTFOPEN_WRITE | RTFOPEN_DENY_WRITE | RTFOPEN_CREATE_REPLACE)))
        return false;
    double const t0 = Now();
    for (size_t off = 0; off < kFileSize; off += buf.size())
        if (RT_FAILURE(RTFileWrite(h, buf.data(), buf.size(), nullptr)))
            return false;
    double const t1 = Now();
    RTFileClose(h);
    if (RT_FAILURE(RTFileOpenNamed(&h, path.c_str(), RTFOPEN_READ | RTFOPEN_DENY_WRITE | RTFOPEN_OPEN)))
        return false;
    double const t2 = Now();
    for (size_t off = 0; off < kFileSize; off += buf.size())
        if (RT_FAILURE(RTFileRead(h, buf.data(), buf.size(), nullptr)))
            return false;
    double const t3 = Now();
    RTFileClose(h);
    t.Add(t1 - t0, t3 - t2);
    return true;
}

/* The same pass through the platform's calls, with the same access and sharing. */
bool PassPlatform(const std::wstring &path, std::vector<uint8_t> &buf, Times &t)
{
    HANDLE h = CreateFileW(path.c_str(), 0x120116, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    double const t0 = Now();
    DWORD cb;
    for (size_t off = 0; off < kFileSize; off += buf.size())
        if (!WriteFile(h, buf.data(), DWORD(buf.size()), &cb, nullptr) || cb != buf.size())
            return false;
    double const t1 = Now();
    CloseHandle(h);
    h = CreateFileW(path.c_str(), 0x120089, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    double const t2 = Now();
    for (size_t off = 0; off < kFileSize; off += buf.size())
        if (!ReadFile(h, buf.data(), DWORD(buf.size()), &cb, nullptr) || cb != buf.size())
            return false;
    double const t3 = Now();
    CloseHandle(h);
    t.Add(t1 - t0, t3 - t2);
    return true;
}

} // namespace

int main()
{
    wchar_t wszTmp[MAX_PATH + 1];
    DWORD const cwc = GetTempPathW(MAX_PATH + 1, wszTmp);
    std::wstring const wpath = std::wstring(wszTmp, cwc) + L"nimb-bench-file-io-" + std::to_wstring(GetCurrentProcessId());
    char szPath[MAX_PATH * 3];
    WideCharToMultiByte(CP_UTF8, 0, wpath.c_str(), -1, szPath, sizeof(szPath), nullptr, nullptr);
    std::string const path = szPath;

    printf("file-io: %u MiB written then read back, transfers timed, best of %d rounds; ratio = platform time over ours\n",
           unsigned(kFileSize >> 20), kRounds);
    int rcExit = 0;
    for (size_t cbBuf : { size_t(4096), size_t(64) << 10, size_t(1) << 20 })
    {
        std::vector<uint8_t> buf(cbBuf);
        for (size_t i = 0; i < cbBuf; i++)
            buf[i] = uint8_t(i * 31);
        Times ours, ref;
        bool ok = true;
        /* Alternate so that both see the same cache and machine load. */
        for (int r = 0; r < kRounds && ok; r++)
        {
            /* Each pass creates a new file (replacing one costs the freeing of its blocks), and
               the two take turns at going first. */
            for (int iSide = 0; iSide < 2 && ok; iSide++)
            {
                DeleteFileW(wpath.c_str());
                ok = (iSide + r) % 2 ? PassRuntime(path, buf, ours) : PassPlatform(wpath, buf, ref);
            }
        }
        DeleteFileW(wpath.c_str());
        if (!ok)
        {
            printf("buffer %7zu: failed\n", cbBuf);
            rcExit = 1;
            continue;
        }
        double const mib = double(kFileSize) / (1 << 20);
        printf("buffer %7zu  write: RTFileWrite %7.0f MiB/s  WriteFile %7.0f MiB/s  ratio %.2f"
               "   read: RTFileRead %7.0f MiB/s  ReadFile %7.0f MiB/s  ratio %.2f\n",
               cbBuf, mib / ours.write, mib / ref.write, ref.write / ours.write,
               mib / ours.read, mib / ref.read, ref.read / ours.read);
    }
    return rcExit;
}
