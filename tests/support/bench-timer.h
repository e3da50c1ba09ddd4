/* Benchmark support: a high-resolution clock and best-of-N timing. Benchmarks compare
 * against a reference measured in the same run, so only ratios are meaningful. */
#pragma once
#include <windows.h>

inline double BenchNow()
{
    static LARGE_INTEGER s_Freq;
    if (!s_Freq.QuadPart)
        QueryPerformanceFrequency(&s_Freq);
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) / double(s_Freq.QuadPart);
}

/** Seconds taken by the fastest of @p cRounds runs of @p fn: the least disturbed one on a
 *  shared machine. */
template <typename Fn>
double BenchBestOf(int cRounds, Fn fn)
{
    double rBest = 1e30;
    for (int i = 0; i < cRounds; i++)
    {
        double const t0 = BenchNow();
        fn();
        double const r = BenchNow() - t0;
        if (r < rBest)
            rBest = r;
    }
    return rBest;
}
