/* Throughput of the UTF-8 <-> UTF-16 conversions into caller buffers, against the
 * platform's MultiByteToWideChar / WideCharToMultiByte on the same texts. Prints one ratio
 * per text and direction: ours relative to the platform, above 1 means we are faster. */
#include <windows.h>
#include <stdio.h>
#include <string>
#include <vector>
#include "rt/string.h"
#include "bench-timer.h"

namespace {

/** Repeats a sample up to about cbTarget bytes. */
std::string Repeat(const char *pszSample, size_t cbTarget)
{
    std::string s;
    while (s.size() < cbTarget)
        s += pszSample;
    return s;
}

/** Best time of a few rounds of cIters calls, the two contenders taking turns. */
template <typename FnOurs, typename FnPlatform>
void Compare(const char *pszWhat, size_t cbText, FnOurs fnOurs, FnPlatform fnPlatform)
{
    /* Rounds of roughly 20 ms on our side. */
    int const cIters = BenchCallsFor(0.02, 1 << 20, fnOurs);
    double tOurs, tPlatform;
    BenchBestOfPair(11, BenchLoop(cIters, fnOurs), BenchLoop(cIters, fnPlatform), &tOurs, &tPlatform);
    double const cMB = static_cast<double>(cbText) * cIters / 1e6;
    printf("%-30s %5.2fx  (ours %7.0f MB/s, platform %7.0f MB/s)\n",
           pszWhat, tPlatform / tOurs, cMB / tOurs, cMB / tPlatform);
}

} /* namespace */

int main()
{
    struct { const char *pszName; std::string text; } const aTexts[] = {
        { "ascii",    Repeat("The quick brown fox jumps over the lazy dog; 0123456789.\r\n", 64 * 1024) },
        { "latin",    Repeat("D\xc3\xa9j\xc3\xa0 vu: \xc3\xa9l\xc3\xa8ve na\xc3\xafve, Stra\xc3\x9f" "e \xc3\xbc" "ber Fl\xc3\xbc" "sse, a\xc3\xb1o ma\xc3\xb1" "ana. ", 64 * 1024) },
        { "cjk",      Repeat("\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\xe3\x81\xae\xe6\x96\x87\xe7\xab\xa0\xe3\x81\xa8\xe4\xb8\xad\xe6\x96\x87\xe5\xad\x97\xe7\xac\xa6\xe3\x80\x82", 64 * 1024) },
        { "emoji",    Repeat("\xf0\x9f\x98\x80\xf0\x9f\x8e\x89 ok \xf0\x9f\x9a\x80\xf0\x9f\x91\x8d\xf0\x9f\x8f\xbd!", 64 * 1024) },
    };
    printf("UTF conversion throughput, ours relative to the platform (>1: ours faster)\n");
    for (const auto &t : aTexts)
    {
        const char *psz = t.text.c_str();
        int const cwc = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, psz, -1, nullptr, 0);
        std::vector<RTUTF16> wbuf(cwc);
        std::vector<RTUTF16> wsrc(cwc);
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, psz, -1, wsrc.data(), cwc);
        std::vector<char> buf(t.text.size() + 1);

        std::string what = std::string("utf8->utf16 ") + t.pszName;
        Compare(what.c_str(), t.text.size(),
                [&](int) {
                    RTUTF16 *pwsz = wbuf.data();
                    if (RTStrToUtf16Ex(psz, RTSTR_MAX, &pwsz, wbuf.size(), nullptr) != INF_SUCCESS)
                        abort();
                },
                [&](int) {
                    if (!MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, psz, -1, wbuf.data(), cwc))
                        abort();
                });
        what = std::string("utf16->utf8 ") + t.pszName;
        Compare(what.c_str(), t.text.size(),
                [&](int) {
                    char *pszOut = buf.data();
                    if (RTUtf16ToUtf8Ex(wsrc.data(), RTSTR_MAX, &pszOut, buf.size(), nullptr) != INF_SUCCESS)
                        abort();
                },
                [&](int) {
                    if (!WideCharToMultiByte(CP_UTF8, 0, wsrc.data(), -1, buf.data(), static_cast<int>(buf.size()), nullptr, nullptr))
                        abort();
                });
    }
    return 0;
}
