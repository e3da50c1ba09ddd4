/* Generated formats: the standard C subset compared with the C runtime's own formatter,
 * and a robustness corpus of random directives with matching arguments run through the
 * buffer writers into guarded buffers. */
#include <gtest/gtest.h>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>
#include "rt/format.h"
#include "rt/mem.h"
#include "rt/string.h"

namespace {

/* Arguments are laid out as the caller's stack would hold them, so one generated list
   serves our engine and the reference alike: 32-bit slots, 64-bit values in two. */
static_assert(sizeof(void *) == 4 && sizeof(va_list) == sizeof(char *),
              "the argument lists below assume the 32-bit x86 calling convention");

struct ArgList
{
    std::vector<uint32_t> aw;
    void u32(uint32_t u) { aw.push_back(u); }
    void u64(uint64_t u)
    {
        aw.push_back(static_cast<uint32_t>(u));
        aw.push_back(static_cast<uint32_t>(u >> 32));
    }
    void ptr(const void *pv) { aw.push_back(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(pv))); }
    /** A fresh list over the slots; the slack keeps a miscounting engine on readable memory. */
    va_list get()
    {
        while (aw.size() < 64)
            aw.push_back(0);
        return reinterpret_cast<va_list>(aw.data());
    }
};

struct Case
{
    std::string format;
    ArgList args;
};

using Rng = std::mt19937;

int Pick(Rng &rng, int iMin, int iMax) { return std::uniform_int_distribution<int>(iMin, iMax)(rng); }
bool Chance(Rng &rng, int iPercent) { return Pick(rng, 0, 99) < iPercent; }

/** Integers biased towards the values where formatters go wrong. */
uint64_t RandomInteger(Rng &rng, bool f64)
{
    static const uint64_t s_au[] = {
        0, 1, 7, 8, 9, 10, 15, 16, 99, 100, 999, 1000, 0x7fffffff, 0x80000000, 0xffffffff,
        UINT64_C(0x100000000), UINT64_C(0x7fffffffffffffff), UINT64_C(0x8000000000000000),
        UINT64_MAX, UINT64_C(0xffffffff80000000),
    };
    uint64_t u;
    switch (Pick(rng, 0, 3))
    {
        case 0: u = s_au[Pick(rng, 0, static_cast<int>(RT_ELEMENTS(s_au)) - 1)]; break;
        case 1: u = static_cast<uint64_t>(Pick(rng, -1000, 1000)); break;
        default: u = (static_cast<uint64_t>(rng()) << 32 | rng()) >> Pick(rng, 0, 63); break;
    }
    return f64 ? u : static_cast<uint32_t>(u);
}

const char *const g_apszStrings[] = {
    "", "a", "hello", "with space", "\xC3\xA9t\xC3\xA9", "0123456789012345678901234567890123456789",
};

/**
 * One directive of the standard C subset (d i u o x X c s with flags, width, precision and
 * the l and ll sizes). Directives where this engine deliberately differs from C are drawn
 * again; each difference is named here and its own rule is tested in format-test.cpp:
 *  - integers with both a width and a precision: the precision zeros do not count towards
 *    the width (%6.4d of 5 is five spaces and 0005);
 *  - precision 0 and value 0: at least one digit is printed;
 *  - '#' prints its prefix also for 0 ("0x0", "00"), and octal '#' does not merge with the
 *    precision's zeros;
 *  - a negative '*' precision counts as 0, not as absent;
 *  - numbers never grow past 63 characters, so widths stay at 40 here.
 * Not generated at all: the grouping flag (spaces), %p (zero-filled, no prefix), h and hh
 * (printed unshortened), the other size prefixes, floating point (exact field rendering),
 * wide strings, and null strings ("<NULL>"); '#' on d i u c s, '0' on c s and a
 * precision on c, which C leaves undefined.
 */
void AddCSubsetDirective(Rng &rng, Case &c)
{
    static const char s_achConv[] = { 'd', 'i', 'u', 'o', 'x', 'X', 'c', 's' };
    for (;;)
    {
        char const chConv = s_achConv[Pick(rng, 0, static_cast<int>(sizeof(s_achConv)) - 1)];
        bool const fInt = chConv != 'c' && chConv != 's';

        std::string flags;
        for (char ch : { '-', '+', ' ', '#', '0' })
            if (Chance(rng, 20))
                flags += ch;
        std::shuffle(flags.begin(), flags.end(), rng);
        bool const fAlt = flags.find('#') != std::string::npos;
        if (fAlt && !(chConv == 'o' || chConv == 'x' || chConv == 'X'))
            continue;
        if (flags.find('0') != std::string::npos && !fInt)
            continue;

        std::string width;
        int iWidthArg = 0;
        bool fWidthArg = false;
        int const iWidthKind = Pick(rng, 0, 19);
        if (iWidthKind >= 10 && iWidthKind < 17)
            width = std::to_string(Pick(rng, 1, 40));
        else if (iWidthKind >= 17)
        {
            width = "*";
            fWidthArg = true;
            iWidthArg = Pick(rng, -40, 40);
        }

        std::string precision;
        int iPrecision = -1;
        bool fPrecisionArg = false;
        int const iPrecisionKind = Pick(rng, 0, 9);
        if (iPrecisionKind >= 6 && iPrecisionKind < 9)
        {
            iPrecision = Chance(rng, 10) ? 0 : Pick(rng, 0, 25);
            precision = iPrecision == 0 && Chance(rng, 50) ? "." : "." + std::to_string(iPrecision);
        }
        else if (iPrecisionKind == 9)
        {
            precision = ".*";
            fPrecisionArg = true;
            iPrecision = Pick(rng, 0, 25);
        }

        std::string size;
        bool f64 = false;
        if (fInt && Chance(rng, 40))
        {
            f64 = Chance(rng, 50);
            size = f64 ? "ll" : "l";
        }

        uint64_t const uValue = fInt ? RandomInteger(rng, f64) : 0;
        if (chConv == 'c' && iPrecision >= 0)
            continue;
        if (fInt && !width.empty() && iPrecision >= 0)
            continue;
        if (fInt && iPrecision == 0 && uValue == 0)
            continue;
        if (fAlt && (uValue == 0 || (chConv == 'o' && iPrecision >= 0)))
            continue;

        c.format += "%" + flags + width + precision + size + chConv;
        if (fWidthArg)
            c.args.u32(static_cast<uint32_t>(iWidthArg));
        if (fPrecisionArg)
            c.args.u32(static_cast<uint32_t>(iPrecision));
        if (chConv == 's')
            c.args.ptr(g_apszStrings[Pick(rng, 0, static_cast<int>(RT_ELEMENTS(g_apszStrings)) - 1)]);
        else if (chConv == 'c')
            c.args.u32(static_cast<uint32_t>(Chance(rng, 5) ? 0 : Pick(rng, 1, 0x1ff)));
        else if (f64)
            c.args.u64(uValue);
        else
            c.args.u32(static_cast<uint32_t>(uValue));
        return;
    }
}

/** Literal text: any byte but '%' and the terminator. */
std::string RandomLiteral(Rng &rng, int cchMax)
{
    std::string s;
    for (int i = Pick(rng, 0, cchMax); i > 0; i--)
    {
        char ch;
        do
            ch = static_cast<char>(Pick(rng, 1, 255));
        while (ch == '%');
        s += ch;
    }
    return s;
}

std::vector<Case> CSubsetCorpus(unsigned uSeed, int cCases)
{
    Rng rng(uSeed);
    std::vector<Case> aCases;
    for (int i = 0; i < cCases; i++)
    {
        Case c;
        for (int iDir = Pick(rng, 1, 3); iDir > 0; iDir--)
        {
            c.format += RandomLiteral(rng, 3);
            AddCSubsetDirective(rng, c);
        }
        c.format += RandomLiteral(rng, 3);
        aCases.push_back(std::move(c));
    }
    return aCases;
}

/** Directed cases of the subset, each checked against the reference as well. */
std::vector<Case> CSubsetDirectedCases()
{
    std::vector<Case> aCases;
    auto add = [&](const char *pszFormat, std::initializer_list<uint32_t> aw) {
        Case c;
        c.format = pszFormat;
        c.args.aw.assign(aw);
        aCases.push_back(std::move(c));
    };
    add("%5d|%-5d|%05d", { 42, 42, static_cast<uint32_t>(-42) });
    add("%#o|%+u|%+d|% d|%#x|%#X", { 8, 5, 5, 5, 255, 255 });
    add("%llu|%lld", { 0xffffffff, 0xffffffff, 0, 0x80000000 });
    add("%d|%i|%u", { 0x80000000, 0x7fffffff, 0xffffffff });
    add("%-+8d|%+-8d|%0-8d|%-08x|% 08d", { 5, 5, 5, 0xab, static_cast<uint32_t>(-3) });
    add("%.10d|%.10x|%.1o", { static_cast<uint32_t>(-77), 0xab, 8 });
    add("%c%c%c|%5c|%-5c|", { 'a', 'b', 'c', 'x', 'y' });
    add("%*d|%*d|%.*d", { 6, 1, static_cast<uint32_t>(-6), 2, 4, 3 });
    aCases.push_back({});
    aCases.back().format = "%.3s|%10s|%-10s|%.0s|%s";
    for (const char *psz : { "abcdef", "right", "left", "gone", "" })
        aCases.back().args.ptr(psz);
    return aCases;
}

std::string Escaped(const std::string &s)
{
    std::string r;
    for (unsigned char ch : s)
    {
        if (ch >= 0x20 && ch < 0x7f && ch != '\\')
            r += static_cast<char>(ch);
        else
        {
            char sz[8];
            std::snprintf(sz, sizeof(sz), "\\x%02x", ch);
            r += sz;
        }
    }
    return r;
}

/** The reference: the system C library's _vsnprintf (msvcrt, as Wine implements it). It
 *  follows the C standard for this subset, where MinGW's own __mingw_vsnprintf does not (it
 *  prints the ' ' flag on unsigned conversions). It neither terminates nor counts a text
 *  that does not fit, so it always gets a buffer large enough. */
std::string Reference(Case &c)
{
    char szRef[512];
    int const cchRef = _vsnprintf(szRef, sizeof(szRef), c.format.c_str(), c.args.get());
    EXPECT_GE(cchRef, 0);
    EXPECT_LT(cchRef, static_cast<int>(sizeof(szRef)));
    return std::string(szRef, cchRef > 0 ? static_cast<size_t>(cchRef) : 0);
}

/** Compares our reporting writer with the reference, then the truncating writer at a random
 *  smaller size with the reference text cut as C's snprintf would cut it. */
void CompareWithReference(Case &c, Rng &rng)
{
    SCOPED_TRACE("format \"" + Escaped(c.format) + "\"");
    std::string const ref = Reference(c);
    char szOurs[512];
    std::memset(szOurs, 0x5a, sizeof(szOurs));
    ptrdiff_t const cchOurs = RTStrPrintBufExV(szOurs, sizeof(szOurs), c.format.c_str(), c.args.get());
    ASSERT_EQ(cchOurs, static_cast<ptrdiff_t>(ref.size()))
        << "ours \"" << Escaped(std::string(szOurs, cchOurs > 0 ? cchOurs : 0)) << "\", reference \""
        << Escaped(ref) << "\"";
    ASSERT_EQ(std::string(szOurs, ref.size() + 1), ref + '\0')
        << "ours \"" << Escaped(std::string(szOurs, ref.size())) << "\", reference \"" << Escaped(ref) << "\"";

    size_t const cb = static_cast<size_t>(Pick(rng, 1, static_cast<int>(ref.size()) + 1));
    std::memset(szOurs, 0x5a, sizeof(szOurs));
    size_t const cchStored = RTStrPrintBufV(szOurs, cb, c.format.c_str(), c.args.get());
    std::string const cut = ref.substr(0, cb - 1);
    EXPECT_EQ(cchStored, cut.size());
    EXPECT_EQ(std::string(szOurs, cb + 1), cut + '\0' + '\x5a') << "buffer size " << cb;
}

} /* namespace */

TEST(FormatDifferential, DirectedCasesMatchTheCRuntime)
{
    Rng rng(1);
    for (Case &c : CSubsetDirectedCases())
        CompareWithReference(c, rng);
}

TEST(FormatDifferential, GeneratedCasesMatchTheCRuntime)
{
    Rng rng(2);
    for (Case &c : CSubsetCorpus(0x5eed, 4000))
    {
        CompareWithReference(c, rng);
        if (HasFatalFailure())
            return;
    }
}

namespace {

/** Strings of each kind, including the invalid pointers that must print placeholders. */
const void *const g_apvBadPointers[] = {
    nullptr, reinterpret_cast<const void *>(0x10), reinterpret_cast<const void *>(0xfff),
    reinterpret_cast<const void *>(static_cast<uintptr_t>(-16)),
};
const RTUTF16 g_wszMixed[] = { 'w', 0xe9, 0xd83d, 0xde00, 0x20ac, 0 };
const RTUTF16 g_wszBroken[] = { 'a', 0xdc00, 'b', 0xd800, 0 };
const RTUTF16 g_wszEmpty[] = { 0 };
const RTUNICP g_aCpsMixed[] = { 'u', 0xe9, 0x1f600, 0x7fffffff, 0x80000000u, 0xd800, 0 };
const RTUNICP g_aCpsEmpty[] = { 0 };

template <typename T, size_t N>
const void *PickPointer(Rng &rng, const T *const (&apv)[N])
{
    if (Chance(rng, 30))
        return g_apvBadPointers[Pick(rng, 0, static_cast<int>(RT_ELEMENTS(g_apvBadPointers)) - 1)];
    return apv[Pick(rng, 0, static_cast<int>(N) - 1)];
}

/** Formats with their arguments, for %N and %M. */
struct NestedFormat
{
    const char *pszFormat;
    std::vector<uint32_t> aw;
};

struct RobustCase : Case
{
    /* Argument lists that %N directives point at; they must outlive the case. */
    std::vector<std::unique_ptr<ArgList>> nestedLists;
    std::vector<std::unique_ptr<va_list>> nestedVaLists;
};

enum class After { More, Abandoned, End };

/** One directive of the engine's whole grammar but %R (whose types and arguments belong to
 *  the typed directives), with arguments of the types the engine will read. */
After AddAnyDirective(Rng &rng, RobustCase &c)
{
    std::string s = "%";
    for (int i = Pick(rng, 0, 3); i > 0; i--)
        s += " #'+-0"[Pick(rng, 0, 5)];
    switch (Pick(rng, 0, 5))
    {
        case 0: s += std::to_string(Pick(rng, 1, 9)); break;
        case 1: s += std::to_string(Pick(rng, 10, 120)); break;
        case 2: s += "*"; c.args.u32(static_cast<uint32_t>(Pick(rng, -120, 120))); break;
        default: break;
    }
    switch (Pick(rng, 0, 5))
    {
        case 0: s += "."; break;
        case 1: s += "." + std::to_string(Pick(rng, 0, 80)); break;
        case 2: s += ".*"; c.args.u32(static_cast<uint32_t>(Pick(rng, -5, 80))); break;
        default: break;
    }
    static const char *const s_apszSizes[] = { "", "", "", "h", "hh", "l", "ll", "L", "q", "j", "z", "t",
                                               "I", "I32", "I64" };
    std::string const size = s_apszSizes[Pick(rng, 0, static_cast<int>(RT_ELEMENTS(s_apszSizes)) - 1)];
    s += size;
    bool const f64 = size == "ll" || size == "L" || size == "q" || size == "j" || size == "I" || size == "I64";

    /* Sometimes the format ends inside the directive. */
    if (Chance(rng, 3))
    {
        c.format += s;
        return After::End;
    }

    static const char s_szConv[] = "diouxXpcsSaAeEfFgGNMbkmnrvwyZ!@~[";
    char const chConv = s_szConv[Pick(rng, 0, static_cast<int>(sizeof(s_szConv)) - 2)];
    s += chConv;
    c.format += s;
    switch (chConv)
    {
        case 'd': case 'i': case 'o': case 'u': case 'x': case 'X':
            if (f64)
                c.args.u64(RandomInteger(rng, true));
            else
                c.args.u32(static_cast<uint32_t>(RandomInteger(rng, false)));
            break;
        case 'p':
        case 'c':
            c.args.u32(rng());
            break;
        case 's':
        case 'S':
            if (size == "l")
            {
                static const RTUTF16 *const s_apwsz[] = { g_wszMixed, g_wszBroken, g_wszEmpty };
                c.args.ptr(PickPointer(rng, s_apwsz));
            }
            else if (size == "ll" || size == "L")
            {
                static const RTUNICP *const s_apCps[] = { g_aCpsMixed, g_aCpsEmpty };
                c.args.ptr(PickPointer(rng, s_apCps));
            }
            else
                c.args.ptr(PickPointer(rng, g_apszStrings));
            break;
        case 'a': case 'A': case 'e': case 'E': case 'f': case 'F': case 'g': case 'G':
            c.args.u64(static_cast<uint64_t>(rng()) << 32 | rng());
            break;
        case 'N':
        {
            static const NestedFormat s_aNested[] = {
                { "x=%d", { 7 } }, { "%s|%5.2s", { 0, 0 } }, { "", {} }, { "%lld%c", { 1, 2, 'z' } },
            };
            if (Chance(rng, 15))
            {
                c.args.ptr(Chance(rng, 50) ? nullptr : "x");
                c.args.ptr(reinterpret_cast<const void *>(0x8));
                break;
            }
            const NestedFormat &n = s_aNested[Pick(rng, 0, static_cast<int>(RT_ELEMENTS(s_aNested)) - 1)];
            auto pList = std::make_unique<ArgList>();
            pList->aw = n.aw;
            if (n.aw.size() == 2 && n.aw[0] == 0)
            {
                pList->aw.clear();
                pList->ptr("nested");
                pList->ptr("strings");
            }
            auto pVa = std::make_unique<va_list>();
            *pVa = pList->get();
            c.args.ptr(n.pszFormat);
            c.args.ptr(pVa.get());
            c.nestedLists.push_back(std::move(pList));
            c.nestedVaLists.push_back(std::move(pVa));
            break;
        }
        case 'M':
            switch (Pick(rng, 0, 2))
            {
                case 0: c.args.ptr("m%dm"); c.args.u32(5); break;
                case 1: c.args.ptr("end"); break;
                default: c.args.ptr(nullptr); break;
            }
            return After::Abandoned;
        default:
            /* Unknown conversions take nothing. */
            break;
    }
    return After::More;
}

std::vector<RobustCase> RobustCorpus(unsigned uSeed, int cCases)
{
    Rng rng(uSeed);
    std::vector<RobustCase> aCases;
    for (int i = 0; i < cCases; i++)
    {
        RobustCase c;
        After after = After::More;
        for (int iDir = Pick(rng, 0, 6); after == After::More && iDir > 0; iDir--)
        {
            c.format += Chance(rng, 10) ? "%%" : RandomLiteral(rng, 6);
            after = AddAnyDirective(rng, c);
        }
        if (after == After::More)
            c.format += RandomLiteral(rng, 6);
        else if (after == After::Abandoned)
            c.format += RandomLiteral(rng, 6) + "%d%s";   /* never read */
        aCases.push_back(std::move(c));
    }
    return aCases;
}

/** Runs one format through every writer: the allocated text is the reference, each buffer
 *  writer must store a terminated prefix of it and leave the guard bytes alone. */
void CheckWriters(const std::string &format, ArgList &args, Rng &rng)
{
    SCOPED_TRACE("format \"" + Escaped(format) + "\"");
    char *pszFull = nullptr;
    int const cchFull = RTStrPrintAllocV(&pszFull, format.c_str(), args.get());
    ASSERT_GE(cchFull, 0);
    ASSERT_NE(pszFull, nullptr);
    std::string const full(pszFull, static_cast<size_t>(cchFull));
    RTStrRelease(pszFull);

    constexpr size_t cbGuard = 32;
    size_t const acb[] = { 0, 1, 2, static_cast<size_t>(Pick(rng, 0, cchFull + 2)), full.size(),
                           full.size() + 1, 300 };
    std::vector<unsigned char> abBuf;
    for (size_t cb : acb)
    {
        for (int fEx = 0; fEx < 2; fEx++)
        {
            abBuf.assign(cb + cbGuard, 0xa5);
            char *pszBuf = reinterpret_cast<char *>(abBuf.data());
            size_t cchStored;
            if (fEx)
            {
                ptrdiff_t const cch = RTStrPrintBufExV(pszBuf, cb, format.c_str(), args.get());
                bool const fFits = cb > full.size();
                EXPECT_EQ(cch, fFits ? static_cast<ptrdiff_t>(full.size()) : ~static_cast<ptrdiff_t>(full.size()))
                    << "size " << cb;
                cchStored = cb ? (fFits ? full.size() : cb - 1) : 0;
            }
            else
            {
                cchStored = RTStrPrintBufV(pszBuf, cb, format.c_str(), args.get());
                EXPECT_EQ(cchStored, cb ? std::min(full.size(), cb - 1) : 0) << "size " << cb;
            }
            if (cb)
            {
                EXPECT_EQ(std::string(pszBuf, cchStored), full.substr(0, cchStored)) << "size " << cb;
                EXPECT_EQ(pszBuf[cchStored], '\0') << "size " << cb;
            }
            for (size_t i = cb; i < abBuf.size(); i++)
                ASSERT_EQ(abBuf[i], 0xa5) << "write past a buffer of " << cb << " bytes at " << i;
        }
    }
}

} /* namespace */

TEST(FormatRobustness, GeneratedCSubsetCorpusInGuardedBuffers)
{
    Rng rng(3);
    for (Case &c : CSubsetCorpus(0x5eed, 4000))
    {
        CheckWriters(c.format, c.args, rng);
        if (HasFatalFailure())
            return;
    }
}

TEST(FormatRobustness, RandomDirectivesInGuardedBuffers)
{
    Rng rng(4);
    for (RobustCase &c : RobustCorpus(0xf00d, 20000))
    {
        CheckWriters(c.format, c.args, rng);
        if (HasFatalFailure())
            return;
    }
}
