/* Cost per call of RTPathAbsEx against the platform's GetFullPathNameW on the same corpus of
 * DOS paths (drives, UNC, ".", "..", repeated and trailing separators), by kind of path.
 * Ratios above 1 mean ours is faster. */
#include <windows.h>
#include <stdio.h>
#include <string>
#include <vector>
#include "rt/path.h"
#include "internal/path.h"
#include "path-corpus.h"
#include "bench-timer.h"

namespace {

struct Sample
{
    std::string  str;
    std::wstring wstr;
};

/** Best of seven rounds over the whole set for each contender; ns per call. */
void Compare(const char *pszWhat, const std::vector<Sample> &Set)
{
    if (Set.empty())
        return;
    char    sz[1024];
    wchar_t wsz[1024];
    auto fnOurs = [&](int) {
        for (const Sample &s : Set)
        {
            size_t cb = sizeof(sz);
            RTPathAbsEx(nullptr, s.str.c_str(), RTPSTYLE_DOS, sz, &cb);
        }
    };
    auto fnPlatform = [&](int) {
        for (const Sample &s : Set)
            GetFullPathNameW(s.wstr.c_str(), 1024, wsz, nullptr);
    };
    /* Rounds of roughly 20 ms on our side. */
    int const cReps = BenchCallsFor(0.02, 1 << 16, fnOurs);
    double const tOurs = BenchBestOf(7, BenchLoop(cReps, fnOurs));
    double const tPlatform = BenchBestOf(7, BenchLoop(cReps, fnPlatform));
    double const cCalls = static_cast<double>(Set.size()) * cReps;
    printf("%-22s %5zu paths %6.2fx  (ours %7.1f ns/call, platform %7.1f ns/call)\n", pszWhat, Set.size(),
           tPlatform / tOurs, tOurs / cCalls * 1e9, tPlatform / cCalls * 1e9);
}

} /* namespace */

int main()
{
    std::vector<Sample> All, Drive, Unc, Relative;
    for (const std::string &str : DosPathCorpus())
    {
        Sample s{ str, std::wstring(str.begin(), str.end()) };
        All.push_back(s);
        bool const fSep0 = rtPathIsAnySep(str[0]);
        bool const fSep1 = str.size() > 1 && rtPathIsAnySep(str[1]);
        if (str.size() > 2 && str[1] == ':' && rtPathIsAnySep(str[2]))
            Drive.push_back(s);
        else if (fSep0 && fSep1)
            Unc.push_back(s);
        else if (!fSep0)
            Relative.push_back(s);
    }
    printf("RTPathAbsEx per call, relative to GetFullPathNameW (>1: ours faster)\n");
    Compare("whole corpus", All);
    Compare("drive-absolute", Drive);
    Compare("UNC", Unc);
    Compare("relative to cwd", Relative);
    return 0;
}
