/* Cost per call of RTPathAbsEx against the platform's GetFullPathNameW on the same corpus of
 * DOS paths (drives, UNC, ".", "..", repeated and trailing separators), by kind of path.
 * Ratios above 1 mean ours is faster. */
#include <windows.h>
#include <stdio.h>
#include <string>
#include <vector>
#include "rt/path.h"
#include "path-corpus.h"

namespace {

double Now()
{
    static LARGE_INTEGER s_Freq;
    if (!s_Freq.QuadPart)
        QueryPerformanceFrequency(&s_Freq);
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(s_Freq.QuadPart);
}

struct Sample
{
    std::string  str;
    std::wstring wstr;
};

/** Best of seven rounds over the whole set, the two contenders taking turns; ns per call. */
void Compare(const char *pszWhat, const std::vector<Sample> &Set)
{
    if (Set.empty())
        return;
    char    sz[1024];
    wchar_t wsz[1024];
    auto fnOurs = [&]() {
        for (const Sample &s : Set)
        {
            size_t cb = sizeof(sz);
            RTPathAbsEx(nullptr, s.str.c_str(), RTPSTYLE_DOS, sz, &cb);
        }
    };
    auto fnPlatform = [&]() {
        for (const Sample &s : Set)
            GetFullPathNameW(s.wstr.c_str(), 1024, wsz, nullptr);
    };
    unsigned cReps = 1;
    for (;;)
    {
        double const t0 = Now();
        for (unsigned i = 0; i < cReps; i++)
            fnOurs();
        if (Now() - t0 > 0.02 || cReps >= (1u << 16))
            break;
        cReps *= 2;
    }
    double tOurs = 1e9, tPlatform = 1e9;
    for (int iRound = 0; iRound < 7; iRound++)
    {
        double t0 = Now();
        for (unsigned i = 0; i < cReps; i++)
            fnOurs();
        double t = Now() - t0;
        tOurs = t < tOurs ? t : tOurs;
        t0 = Now();
        for (unsigned i = 0; i < cReps; i++)
            fnPlatform();
        t = Now() - t0;
        tPlatform = t < tPlatform ? t : tPlatform;
    }
    double const cCalls = static_cast<double>(Set.size()) * cReps;
    printf("%-22s %5zu paths %6.2fx  (ours %7.1f ns/call, platform %7.1f ns/call)\n", pszWhat, Set.size(),
           tPlatform / tOurs, tOurs / cCalls * 1e9, tPlatform / cCalls * 1e9);
}

} /* anonymous namespace */

int main()
{
    std::vector<Sample> All, Drive, Unc, Relative;
    for (const std::string &str : DosPathCorpus())
    {
        Sample s{ str, std::wstring(str.begin(), str.end()) };
        All.push_back(s);
        bool const fSep0 = str[0] == '\\' || str[0] == '/';
        bool const fSep1 = str.size() > 1 && (str[1] == '\\' || str[1] == '/');
        if (str.size() > 2 && str[1] == ':' && (str[2] == '\\' || str[2] == '/'))
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
