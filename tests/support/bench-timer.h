/* Benchmark support: a high-resolution clock, best-of-N timing and the per-call figures built
 * on it. Benchmarks compare against a reference measured in the same run, so only ratios
 * are meaningful. */
#pragma once
#include <windows.h>
#include <stdint.h>
#include <algorithm>
#include <type_traits>
#include <vector>

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

/** Seconds of the fastest of @p cRounds runs of each of two contenders taking turns round by
 *  round, so that load which comes and goes on a shared machine falls on both alike. */
template <typename FnA, typename FnB>
void BenchBestOfPair(int cRounds, FnA fnA, FnB fnB, double *prA, double *prB)
{
    *prA = *prB = 1e30;
    for (int i = 0; i < cRounds; i++)
    {
        *prA = std::min(*prA, BenchBestOf(1, fnA));
        *prB = std::min(*prB, BenchBestOf(1, fnB));
    }
}

/** Where the results of measured calls go, so that the compiler cannot drop the calls. */
inline volatile uint64_t g_uBenchSink;

/** A round of @p cCalls calls fn(i), i counting from 0; what the calls return is summed, in
 *  their own type so that the summing costs the same whatever is measured, into the sink. */
template <typename Fn>
auto BenchLoop(int cCalls, Fn fn)
{
    return [=]() {
        if constexpr (std::is_void_v<decltype(fn(0))>)
            for (int i = 0; i < cCalls; i++)
                fn(i);
        else
        {
            decltype(fn(0)) uSum{};
            for (int i = 0; i < cCalls; i++)
                uSum += fn(i);
            g_uBenchSink = uint64_t(uSum);
        }
    };
}

/** Nanoseconds per call of fn(i) in the fastest of @p cRounds rounds of @p cCalls calls. */
template <typename Fn>
double BenchNsPerCall(int cRounds, int cCalls, Fn fn)
{
    return BenchBestOf(cRounds, BenchLoop(cCalls, fn)) * 1e9 / double(cCalls);
}

/** Nanoseconds per call of fn(input) in the fastest of @p cRounds rounds, each passing
 *  @p cPasses times over every input. */
template <typename T, typename Fn>
double BenchNsPerInput(int cRounds, int cPasses, const std::vector<T> &inputs, Fn fn)
{
    double const rSeconds = BenchBestOf(cRounds, [&] {
        decltype(fn(inputs[0])) uSum{};
        for (int p = 0; p < cPasses; p++)
            for (T const &v : inputs)
                uSum += fn(v);
        g_uBenchSink = uint64_t(uSum);
    });
    return rSeconds * 1e9 / (double(cPasses) * double(inputs.size()));
}

/** How many calls of fn(i) make a round of at least @p rSeconds: doubling from one, at most
 *  @p cMax. Rounds that long rise above the clock's resolution and the scheduler's noise. */
template <typename Fn>
int BenchCallsFor(double rSeconds, int cMax, Fn fn)
{
    int cCalls = 1;
    while (cCalls < cMax && BenchBestOf(1, BenchLoop(cCalls, fn)) < rSeconds)
        cCalls *= 2;
    return cCalls;
}

/** The middle value: the most typical run. */
inline double BenchMedian(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
