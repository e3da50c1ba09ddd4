/* UTF-8 validation, code-point decoding and encoding, and the conversions to and from
 * UTF-16 and code-point arrays. */
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <random>
#include <string>
#include <vector>
#include "rt/string.h"
#include "rt/mem.h"

namespace {

/** Fails every allocation while it lives. */
struct FailAllocations
{
    FailAllocations() { g_pfnRTMemAllocHook = [](size_t) { return false; }; }
    ~FailAllocations() { g_pfnRTMemAllocHook = nullptr; }
};

constexpr size_t kNoLimit = RTSTR_MAX;

struct ScanCase
{
    const char *pszName;
    std::string bytes;
    size_t cchMax;
    RTSTATUS rc;
    size_t cCps;        /* on success */
    size_t cwc;
    size_t cb;
};

const ScanCase g_aScanCases[] = {
    { "empty",            "",                                   kNoLimit, INF_SUCCESS,                0, 0, 0 },
    { "ascii",            "abc",                                kNoLimit, INF_SUCCESS,                3, 3, 3 },
    { "two-byte",         "\xc3\xa9",                           kNoLimit, INF_SUCCESS,                1, 1, 2 },
    { "three-byte",       "\xe2\x82\xac",                       kNoLimit, INF_SUCCESS,                1, 1, 3 },
    { "four-byte",        "\xf0\x9f\x98\x80",                   kNoLimit, INF_SUCCESS,                1, 2, 4 },
    { "largest",          "\xf4\x8f\xbf\xbf",                   kNoLimit, INF_SUCCESS,                1, 2, 4 },
    { "below surrogates", "\xed\x9f\xbf",                       kNoLimit, INF_SUCCESS,                1, 1, 3 },
    { "U+FFFD",           "\xef\xbf\xbd",                       kNoLimit, INF_SUCCESS,                1, 1, 3 },
    { "mixed",            "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80z", kNoLimit, INF_SUCCESS,        5, 6, 11 },
    { "limit in ascii",   "abcdef",                             2,        INF_SUCCESS,                2, 2, 2 },
    { "limit after char", "\xc3\xa9xyz",                        2,        INF_SUCCESS,                1, 1, 2 },
    { "zero before limit","ab",                                 10,       INF_SUCCESS,                2, 2, 2 },
    { "overlong zero",    "\xc0\x80",                           kNoLimit, ERR_UTF8_MALFORMED },
    { "overlong 3",       "\xe0\x9f\xbf",                       kNoLimit, ERR_UTF8_MALFORMED },
    { "overlong 4",       "\xf0\x8f\xbf\xbf",                   kNoLimit, ERR_UTF8_MALFORMED },
    { "overlong 5",       "\xf8\x87\xbf\xbf\xbf",               kNoLimit, ERR_UTF8_MALFORMED },
    { "surrogate low",    "\xed\xa0\x80",                       kNoLimit, ERR_UTF8_SURROGATE },
    { "surrogate high",   "\xed\xbf\xbf",                       kNoLimit, ERR_UTF8_SURROGATE },
    { "U+FFFF",           "\xef\xbf\xbf",                       kNoLimit, ERR_CODEPOINT_NONCHARACTER },
    { "U+FFFE",           "\xef\xbf\xbe",                       kNoLimit, ERR_CODEPOINT_NONCHARACTER },
    { "U+110000",         "\xf4\x90\x80\x80",                   kNoLimit, ERR_CODEPOINT_TOO_LARGE },
    { "five-byte",        "\xf8\x88\x80\x80\x80",               kNoLimit, ERR_CODEPOINT_TOO_LARGE },
    { "six-byte",         "\xfc\x84\x80\x80\x80\x80",           kNoLimit, ERR_CODEPOINT_TOO_LARGE },
    { "lone continuation","\x80",                               kNoLimit, ERR_UTF8_MALFORMED },
    { "byte FE",          "\xfe",                               kNoLimit, ERR_UTF8_MALFORMED },
    { "byte FF",          "a\xff",                              kNoLimit, ERR_UTF8_MALFORMED },
    { "cut by terminator","\xe2\x82",                           kNoLimit, ERR_UTF8_MALFORMED },
    { "cut by limit",     "\xe2\x82\xac",                       2,        ERR_UTF8_MALFORMED },
    { "bad continuation", "\xe2\x28\xac",                       kNoLimit, ERR_UTF8_MALFORMED },
    { "error after good", "\xc3\xa9\xc3",                       kNoLimit, ERR_UTF8_MALFORMED },
    /* The ends of the ranges that a whole sequence is checked against. */
    { "U+0800",           "\xe0\xa0\x80",                       kNoLimit, INF_SUCCESS,                1, 1, 3 },
    { "U+E000",           "\xee\x80\x80",                       kNoLimit, INF_SUCCESS,                1, 1, 3 },
    { "U+10000",          "\xf0\x90\x80\x80",                   kNoLimit, INF_SUCCESS,                1, 2, 4 },
    { "overlong 2 by C1", "\xc3\xa9\xc1\xbf",                   kNoLimit, ERR_UTF8_MALFORMED },
    /* Runs of one width, cut or broken inside. */
    { "cjk run",          "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\xe3\x81\xae", kNoLimit, INF_SUCCESS,   4, 4, 12 },
    { "pair after cjk",   "\xe6\x97\xa5\xe6\x9c\xac\xf0\x9f\x98\x80\xe8\xaa\x9e", kNoLimit, INF_SUCCESS, 4, 5, 13 },
    { "emoji run",        "\xf0\x9f\x98\x80\xf0\x9f\x8e\x89\xf4\x8f\xbf\xbf", kNoLimit, INF_SUCCESS,   3, 6, 12 },
    { "latin run",        "\xc3\xa9\xc3\xa0\xc3\xbc\xdf\xbf",   kNoLimit, INF_SUCCESS,                4, 4, 8 },
    { "limit after run",  "\xe6\x97\xa5\xe6\x9c\xac\xff",        6,        INF_SUCCESS,                2, 2, 6 },
    { "limit inside run", "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e", 8,      ERR_UTF8_MALFORMED },
    { "run cut at end",   "\xe6\x97\xa5\xe6\x9c\xac\xe8\xaa",    kNoLimit, ERR_UTF8_MALFORMED },
    { "byte FF in run",   "\xe6\x97\xa5\xff\xe8\xaa\x9e",        kNoLimit, ERR_UTF8_MALFORMED },
    { "lead in run",      "\xe6\x97\xa5\xe6\xe8\xaa\x9e",        kNoLimit, ERR_UTF8_MALFORMED },
    { "surrogate in run", "\xe6\x97\xa5\xed\xa0\x80\xe8\xaa\x9e", kNoLimit, ERR_UTF8_SURROGATE },
    { "U+FFFE in run",    "\xe6\x97\xa5\xef\xbf\xbe\xe8\xaa\x9e", kNoLimit, ERR_CODEPOINT_NONCHARACTER },
    { "overlong in run",  "\xe6\x97\xa5\xe0\x9f\xbf\xe8\xaa\x9e", kNoLimit, ERR_UTF8_MALFORMED },
    { "too large in run", "\xf0\x9f\x98\x80\xf4\x90\x80\x80",    kNoLimit, ERR_CODEPOINT_TOO_LARGE },
    { "five-byte in run", "\xf0\x9f\x98\x80\xf8\x88\x80\x80\x80", kNoLimit, ERR_CODEPOINT_TOO_LARGE },
};

/** Two pages of which only the first may be read: text placed at its end shows that no
 *  read passes the terminator or the limit into the next page. */
class PageEnd
{
public:
    PageEnd()
    {
        m_pb = static_cast<char *>(VirtualAlloc(nullptr, 2 * kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD fOld;
        if (m_pb && !VirtualProtect(m_pb + kPage, kPage, PAGE_NOACCESS, &fOld))
        {
            VirtualFree(m_pb, 0, MEM_RELEASE);
            m_pb = nullptr;
        }
    }
    ~PageEnd()
    {
        if (m_pb)
            VirtualFree(m_pb, 0, MEM_RELEASE);
    }
    bool valid() const { return m_pb != nullptr; }
    /** Copies cb bytes so that the last one is the last readable byte. */
    char *place(const char *pb, size_t cb)
    {
        char *psz = m_pb + kPage - cb;
        memcpy(psz, pb, cb);
        return psz;
    }

private:
    static constexpr size_t kPage = 4096;
    char *m_pb;
};

/* Each case alone, then embedded behind and before runs of ASCII at every alignment, so
   that the word-at-a-time paths meet every boundary; once in a heap block and once ending
   where readable memory ends, terminator or limit included, so that the sequences meet
   the end of the page at every position. */
TEST(Utf8Scan, StrictValidationAndCounts)
{
    PageEnd Page;
    ASSERT_TRUE(Page.valid());
    for (const ScanCase &c : g_aScanCases)
        for (size_t cchPre = 0; cchPre < 9; cchPre++)
            for (size_t cchPost : { 0, 1, 2, 3, 7 })
                for (bool fPageEnd : { false, true })
                {
                    SCOPED_TRACE(testing::Message() << c.pszName << " pre " << cchPre << " post " << cchPost
                                                    << (fPageEnd ? " at the page end" : ""));
                    bool const fLimited = c.cchMax != kNoLimit;
                    /* With a limit, text after the limit must never be looked at. */
                    std::string s = std::string(cchPre, 'p') + c.bytes;
                    if (!fLimited || c.cchMax <= c.bytes.size())
                        s += std::string(cchPost, 'q');
                    size_t const cchMax = fLimited ? cchPre + c.cchMax : kNoLimit;
                    size_t const cchPostSeen = !fLimited && c.rc == INF_SUCCESS ? cchPost : 0;

                    /* A private copy at an odd offset in a larger block moves the alignment too. */
                    std::vector<char> buf(s.size() + 16, '\0');
                    char *psz = &buf[1 + cchPre % 4];
                    memcpy(psz, s.c_str(), s.size() + 1);
                    if (fPageEnd)
                        psz = Page.place(s.c_str(), std::min(cchMax, s.size() + 1));

                    size_t cCps = 99, cb = 99, cwc = 99;
                    EXPECT_EQ(RTStrScanUtf8(psz, cchMax, &cCps, &cb), c.rc);
                    EXPECT_EQ(RTStrUtf16Units(psz, cchMax, &cwc), c.rc);
                    if (c.rc == INF_SUCCESS)
                    {
                        EXPECT_EQ(cCps, cchPre + c.cCps + cchPostSeen);
                        EXPECT_EQ(cb, cchPre + c.cb + cchPostSeen);
                        EXPECT_EQ(cwc, cchPre + c.cwc + cchPostSeen);
                        if (!fLimited)
                            EXPECT_EQ(RTStrCountCodePoints(psz), cCps);

                        /* The converting pass reads where the scan did, and decodes as the platform does. */
                        std::vector<RTUTF16> expected(cwc + 1, 0);
                        if (cb)
                            ASSERT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, psz, static_cast<int>(cb),
                                                          expected.data(), static_cast<int>(cwc)), static_cast<int>(cwc));
                        std::vector<RTUTF16> out(cwc + 2, 0x5555);
                        RTUTF16 *pwsz = out.data();
                        ASSERT_EQ(RTStrToUtf16Ex(psz, cchMax, &pwsz, cwc + 1, nullptr), INF_SUCCESS);
                        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin()));
                        EXPECT_EQ(out[cwc + 1], 0x5555);
                    }
                    else
                    {
                        EXPECT_EQ(cwc, 0u);
                        if (!fLimited)
                            EXPECT_EQ(RTStrCountCodePoints(psz), 0u);
                    }
                    EXPECT_EQ(RTStrCheckEncoding(psz, cchMax, 0), c.rc);
                }
}

TEST(Utf8Scan, CheckEncodingLengthFlags)
{
    struct { size_t cchMax; uint32_t fFlags; RTSTATUS rc; } const aCases[] = {
        { 4, STRCHECK_NEED_TERMINATOR | STRCHECK_EXACT_LENGTH, INF_SUCCESS },
        { 5, STRCHECK_NEED_TERMINATOR | STRCHECK_EXACT_LENGTH, ERR_BUFFER_UNDERRUN },
        { 3, STRCHECK_NEED_TERMINATOR | STRCHECK_EXACT_LENGTH, ERR_BUFFER_TOO_SMALL },
        { 3, STRCHECK_EXACT_LENGTH,                            INF_SUCCESS },
        { 9, STRCHECK_EXACT_LENGTH,                            ERR_BUFFER_UNDERRUN },
        { 2, STRCHECK_EXACT_LENGTH,                            INF_SUCCESS },   /* the first two bytes, exactly */
        { 3, STRCHECK_NEED_TERMINATOR,                         ERR_BUFFER_TOO_SMALL },
        { 4, STRCHECK_NEED_TERMINATOR,                         INF_SUCCESS },
        { 9, STRCHECK_NEED_TERMINATOR,                         INF_SUCCESS },
        { 3, 0,                                                INF_SUCCESS },
        { 4, 4,                                                ERR_BAD_ARGUMENT },
        { 4, 0x80000000u,                                      ERR_BAD_ARGUMENT },
    };
    for (const auto &c : aCases)
    {
        SCOPED_TRACE(testing::Message() << "limit " << c.cchMax << " flags " << c.fFlags);
        EXPECT_EQ(RTStrCheckEncoding("abc", c.cchMax, c.fFlags), c.rc);
    }
    /* Encoding errors come first. */
    EXPECT_EQ(RTStrCheckEncoding("\xff", 2, STRCHECK_NEED_TERMINATOR | STRCHECK_EXACT_LENGTH), ERR_UTF8_MALFORMED);
}

TEST(Utf8Decode, LenientDecoderMovesBySequenceOrByOne)
{
    struct { std::string bytes; RTSTATUS rc; RTUNICP cp; size_t cbMove; } const aCases[] = {
        { "A",                            INF_SUCCESS,                0x41,       1 },
        { std::string("\0", 1),           INF_SUCCESS,                0,          1 },
        { "\xc3\xa9",                     INF_SUCCESS,                0xe9,       2 },
        { "\xe2\x82\xac",                 INF_SUCCESS,                0x20ac,     3 },
        { "\xf0\x9f\x98\x80",             INF_SUCCESS,                0x1f600,    4 },
        { "\xf4\x90\x80\x80",             INF_SUCCESS,                0x110000,   4 },
        { "\xf7\xbf\xbf\xbf",             INF_SUCCESS,                0x1fffff,   4 },
        { "\xf8\x88\x80\x80\x80",         INF_SUCCESS,                0x200000,   5 },
        { "\xfd\xbf\xbf\xbf\xbf\xbf",     INF_SUCCESS,                0x7fffffff, 6 },
        { "\xc0\x80",                     ERR_UTF8_MALFORMED,         CODEPOINT_BAD, 1 },
        { "\xf8\x87\xbf\xbf\xbf",         ERR_UTF8_MALFORMED,         CODEPOINT_BAD, 1 },
        { "\xed\xa0\x80",                 ERR_UTF8_SURROGATE,         CODEPOINT_BAD, 1 },
        { "\xef\xbf\xbf",                 ERR_CODEPOINT_NONCHARACTER, CODEPOINT_BAD, 1 },
        { "\x80",                         ERR_UTF8_MALFORMED,         CODEPOINT_BAD, 1 },
        { "\xff",                         ERR_UTF8_MALFORMED,         CODEPOINT_BAD, 1 },
        { "\xe2\x82",                     ERR_UTF8_MALFORMED,         CODEPOINT_BAD, 1 },
    };
    for (const auto &c : aCases)
    {
        SCOPED_TRACE(testing::Message() << "case " << &c - aCases);
        const char *psz = c.bytes.c_str();
        RTUNICP cp = 0;
        EXPECT_EQ(RTStrDecodeCp(&psz, &cp), c.rc);
        EXPECT_EQ(cp, c.cp);
        EXPECT_EQ(psz, c.bytes.c_str() + c.cbMove);
        EXPECT_EQ(RTStrPeekCp(c.bytes.c_str()), c.cp);

        psz = c.bytes.c_str();
        size_t cch = c.bytes.size() + 1;
        EXPECT_EQ(RTStrDecodeCpN(&psz, &cch, &cp), c.rc);
        EXPECT_EQ(cp, c.cp);
        EXPECT_EQ(cch, c.bytes.size() + 1 - c.cbMove);
    }
}

TEST(Utf8Decode, CountedDecoderStopsAtItsCount)
{
    const char *const pszEuro = "\xe2\x82\xac";
    const char *psz = pszEuro;
    size_t cch = 0;
    RTUNICP cp = 0;
    EXPECT_EQ(RTStrDecodeCpN(&psz, &cch, &cp), ERR_END_OF_STRING);
    EXPECT_EQ(psz, pszEuro);
    EXPECT_EQ(cch, 0u);

    cch = 2;    /* the euro sign needs three */
    EXPECT_EQ(RTStrDecodeCpN(&psz, &cch, &cp), ERR_UTF8_MALFORMED);
    EXPECT_EQ(cp, CODEPOINT_BAD);
    EXPECT_EQ(psz, pszEuro + 1);
    EXPECT_EQ(cch, 1u);
}

TEST(Utf8Encode, LengthsAndRoundTrip)
{
    struct { RTUNICP cp; const char *pszBytes; } const aCases[] = {
        { 0x00,       "" },   /* one zero byte */
        { 0x7f,       "\x7f" },
        { 0x80,       "\xc2\x80" },
        { 0x7ff,      "\xdf\xbf" },
        { 0x800,      "\xe0\xa0\x80" },
        { 0xd800,     "\xed\xa0\x80" },     /* no surrogate check when encoding */
        { 0xffff,     "\xef\xbf\xbf" },
        { 0x10000,    "\xf0\x90\x80\x80" },
        { 0x1fffff,   "\xf7\xbf\xbf\xbf" },
        { 0x200000,   "\xf8\x88\x80\x80\x80" },
        { 0x3ffffff,  "\xfb\xbf\xbf\xbf\xbf" },
        { 0x4000000,  "\xfc\x84\x80\x80\x80\x80" },
        { 0x7fffffff, "\xfd\xbf\xbf\xbf\xbf\xbf" },
        { 0x80000000, "\x7f" },
        { 0xffffffff, "\x7f" },
    };
    for (const auto &c : aCases)
    {
        SCOPED_TRACE(testing::Message() << std::hex << c.cp);
        char ab[8];
        memset(ab, 0xaa, sizeof(ab));
        size_t const cb = c.cp ? strlen(c.pszBytes) : 1;
        char *pszEnd = RTStrEncodeCp(ab, c.cp);
        ASSERT_EQ(pszEnd, ab + cb);
        EXPECT_EQ(0, memcmp(ab, c.pszBytes, cb));
        EXPECT_EQ(static_cast<unsigned char>(ab[cb]), 0xaau);

        if (c.cp < 0x80000000u)
        {
            const char *psz = ab;
            size_t cch = cb;
            RTUNICP cp = 0;
            RTSTATUS const rc = RTStrDecodeCpN(&psz, &cch, &cp);
            bool const fRejected = c.cp == 0xd800 || c.cp == 0xffff;
            EXPECT_EQ(RT_SUCCESS(rc), !fRejected);
            if (!fRejected)
                EXPECT_EQ(cp, c.cp);
        }
    }
}

TEST(Utf8StepBack, FindsTheLeadOrGivesUp)
{
    struct { std::string s; size_t offPos; size_t offExpected; } const aCases[] = {
        { "a\xc3\xa9",              3, 1 },     /* from the end of "aé" to the é lead */
        { "a\xc3\xa9",              1, 0 },
        { "a\xc3\xa9",              0, 0 },
        { "\x80z",                  1, 0 },     /* stray continuation byte at the start */
        { "ab\xe2\x82\xac",         5, 2 },
        { "ab\xe2\x82\xac",         4, 0 },     /* inside a sequence: no 2-byte lead there */
        { "a\xf0\x9f\x98\x80",      5, 1 },
        { "a\xfd\xbf\xbf\xbf\xbf\xbf", 7, 1 },  /* six-byte form */
        { "a\xc3\xbf\xbf\xbf\xbf\xbf\xbf", 8, 0 }, /* a sixth continuation byte */
        { "a\xc3\xa9\xa9",          4, 0 },     /* lead of the wrong length */
        { "ab\xff",                 3, 0 },     /* a byte that is no lead */
        { "x\xc3",                  2, 0 },     /* a lead byte just before: no whole code point */
    };
    for (const auto &c : aCases)
    {
        SCOPED_TRACE(testing::Message() << "case " << &c - aCases);
        const char *psz = c.s.c_str();
        EXPECT_EQ(RTStrStepBack(psz, psz + c.offPos), psz + c.offExpected);
    }
}

/*
 * Conversions.
 */

TEST(Utf8ToUtf16, CallerBufferTooSmallWritesNothing)
{
    RTUTF16 awc[4] = { 0x5555, 0x5555, 0x5555, 0x5555 };
    RTUTF16 *pwsz = awc;
    size_t cwc = 0;
    EXPECT_EQ(RTStrToUtf16Ex("\xe2\x82\xac", kNoLimit, &pwsz, 1, &cwc), ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(cwc, 1u);
    EXPECT_EQ(pwsz, awc);
    EXPECT_EQ(awc[0], 0x5555);

    EXPECT_EQ(RTStrToUtf16Ex("\xe2\x82\xac", kNoLimit, &pwsz, 2, &cwc), INF_SUCCESS);
    EXPECT_EQ(pwsz, awc);
    EXPECT_EQ(awc[0], 0x20ac);
    EXPECT_EQ(awc[1], 0);
    EXPECT_EQ(awc[2], 0x5555);

    /* A surrogate pair needs two units plus the terminator. */
    EXPECT_EQ(RTStrToUtf16Ex("\xf0\x9f\x98\x80", kNoLimit, &pwsz, 2, &cwc), ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(awc[0], 0x20ac);
    EXPECT_EQ(RTStrToUtf16Ex("\xf0\x9f\x98\x80", kNoLimit, &pwsz, 3, &cwc), INF_SUCCESS);
    EXPECT_EQ(awc[0], 0xd83d);
    EXPECT_EQ(awc[1], 0xde00);
    EXPECT_EQ(awc[2], 0);
    EXPECT_EQ(awc[3], 0x5555);
}

TEST(Utf8ToUtf16, InvalidInputFailsWithoutWriting)
{
    RTUTF16 awc[8];
    for (RTUTF16 &wc : awc)
        wc = 0x5555;
    for (const ScanCase &c : g_aScanCases)
    {
        if (c.rc == INF_SUCCESS)
            continue;
        SCOPED_TRACE(c.pszName);
        RTUTF16 *pwsz = awc;
        size_t cwc = 77;
        EXPECT_EQ(RTStrToUtf16Ex(c.bytes.c_str(), c.cchMax, &pwsz, RT_ELEMENTS(awc), &cwc), c.rc);
        EXPECT_EQ(cwc, 77u);
        EXPECT_EQ(awc[0], 0x5555);
        if (c.cchMax == kNoLimit)
        {
            pwsz = reinterpret_cast<RTUTF16 *>(1);
            EXPECT_EQ(RTStrToUtf16(c.bytes.c_str(), &pwsz), c.rc);
            EXPECT_EQ(pwsz, nullptr);
        }
    }
}

TEST(Utf8ToUtf16, AllocatesAtLeastTheRequestedSizeAndHonoursTheLimit)
{
    RTUTF16 *pwsz = nullptr;
    size_t cwc = 0;
    ASSERT_EQ(RTStrToUtf16Ex("abc\xc3\xa9", 3, &pwsz, 0, &cwc), INF_SUCCESS);
    EXPECT_EQ(cwc, 3u);
    EXPECT_EQ(std::wstring(pwsz), L"abc");
    EXPECT_EQ(HeapSize(GetProcessHeap(), 0, pwsz), 4 * sizeof(RTUTF16));
    RTUtf16Release(pwsz);

    pwsz = nullptr;
    ASSERT_EQ(RTStrToUtf16Ex("ab", kNoLimit, &pwsz, 100, nullptr), INF_SUCCESS);
    EXPECT_EQ(std::wstring(pwsz), L"ab");
    EXPECT_EQ(HeapSize(GetProcessHeap(), 0, pwsz), 100 * sizeof(RTUTF16));
    RTUtf16Release(pwsz);

    ASSERT_EQ(RTStrToUtf16("", &pwsz), INF_SUCCESS);
    EXPECT_EQ(pwsz[0], 0);
    EXPECT_EQ(HeapSize(GetProcessHeap(), 0, pwsz), sizeof(RTUTF16));
    RTUtf16Release(pwsz);
}

TEST(Utf8ToUtf16, AllocationFailure)
{
    FailAllocations Fail;
    RTUTF16 *pwsz = reinterpret_cast<RTUTF16 *>(1);
    EXPECT_EQ(RTStrToUtf16("abc", &pwsz), ERR_UTF16_ALLOC_FAILED);
    EXPECT_EQ(pwsz, nullptr);
    pwsz = nullptr;
    EXPECT_EQ(RTStrToUtf16Ex("abc", kNoLimit, &pwsz, 10, nullptr), ERR_UTF16_ALLOC_FAILED);
    EXPECT_EQ(pwsz, nullptr);
    /* A size no heap can give is an allocation failure, not a wrapped-around small block. */
    g_pfnRTMemAllocHook = nullptr;
    EXPECT_EQ(RTStrToUtf16Ex("abc", kNoLimit, &pwsz, RTSTR_MAX / 2 + 2, nullptr), ERR_UTF16_ALLOC_FAILED);
}

TEST(Utf8ToCodePoints, ConvertsIntoCallerOrNewArray)
{
    RTUNICP aCps[4] = { 7, 7, 7, 7 };
    RTUNICP *paCps = aCps;
    size_t cCps = 0;
    EXPECT_EQ(RTStrToCodePointsEx("a\xf0\x9f\x98\x80\xc3\xa9", kNoLimit, &paCps, 3, &cCps), ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(cCps, 3u);
    EXPECT_EQ(aCps[0], 7u);
    EXPECT_EQ(RTStrToCodePointsEx("a\xf0\x9f\x98\x80\xc3\xa9", kNoLimit, &paCps, 4, &cCps), INF_SUCCESS);
    EXPECT_EQ(aCps[0], 0x61u);
    EXPECT_EQ(aCps[1], 0x1f600u);
    EXPECT_EQ(aCps[2], 0xe9u);
    EXPECT_EQ(aCps[3], 0u);

    paCps = nullptr;
    ASSERT_EQ(RTStrToCodePointsEx("abcdefgh", 6, &paCps, 0, &cCps), INF_SUCCESS);
    EXPECT_EQ(cCps, 6u);
    EXPECT_EQ(paCps[5], static_cast<RTUNICP>('f'));
    EXPECT_EQ(paCps[6], 0u);
    RTMemFree(paCps);

    paCps = nullptr;
    EXPECT_EQ(RTStrToCodePointsEx("\xed\xa0\x80", kNoLimit, &paCps, 0, nullptr), ERR_UTF8_SURROGATE);
    EXPECT_EQ(paCps, nullptr);

    FailAllocations Fail;
    EXPECT_EQ(RTStrToCodePointsEx("abc", kNoLimit, &paCps, 0, nullptr), ERR_CODEPOINT_ALLOC_FAILED);
    EXPECT_EQ(paCps, nullptr);
}

TEST(Utf16ToUtf8, InvalidUnits)
{
    struct { std::vector<RTUTF16> units; size_t cwcMax; RTSTATUS rc; size_t cchSoFar; } const aCases[] = {
        { { 0xd800, 0x0041 },         kNoLimit, ERR_UTF16_MALFORMED,        0 },
        { { 0x0041, 0xdc00 },         kNoLimit, ERR_UTF16_MALFORMED,        1 },
        { { 0x00e9, 0xd800 },         kNoLimit, ERR_UTF16_MALFORMED,        2 },   /* cut by the terminator */
        { { 0xd800, 0xdc00 },         1,        ERR_UTF16_MALFORMED,        0 },   /* cut by the limit */
        { { 0xdbff, 0xd800 },         kNoLimit, ERR_UTF16_MALFORMED,        0 },
        { { 0x20ac, 0xffff },         kNoLimit, ERR_CODEPOINT_NONCHARACTER, 3 },
        { { 0xfffe },                 kNoLimit, ERR_CODEPOINT_NONCHARACTER, 0 },
        /* Faults right after a run of surrogate pairs. */
        { { 0xd83d, 0xde00, 0xdc00 },                 kNoLimit, ERR_UTF16_MALFORMED,        4 },
        { { 0xd83d, 0xde00, 0xd83d, 0xd83d },         kNoLimit, ERR_UTF16_MALFORMED,        4 },
        { { 0xd83d, 0xde00, 0xd83d },                 kNoLimit, ERR_UTF16_MALFORMED,        4 },
        { { 0xd83d, 0xde00, 0xd83d, 0xde00, 0xd83d, 0xde80 }, 5, ERR_UTF16_MALFORMED,     8 },
        { { 0xd83d, 0xde00, 0xffff },                 kNoLimit, ERR_CODEPOINT_NONCHARACTER, 4 },
    };
    for (const auto &c : aCases)
    {
        SCOPED_TRACE(testing::Message() << "case " << &c - aCases);
        std::vector<RTUTF16> units = c.units;
        units.push_back(0);
        char ab[16];
        memset(ab, 'x', sizeof(ab));
        char *psz = ab;
        size_t cch = 77;
        EXPECT_EQ(RTUtf16ToUtf8Ex(units.data(), c.cwcMax, &psz, sizeof(ab), &cch), c.rc);
        EXPECT_EQ(cch, 77u);
        EXPECT_EQ(ab[0], 'x');
        EXPECT_EQ(RTUtf16MeasureUtf8(units.data(), c.cwcMax, &cch), c.rc);
        EXPECT_EQ(cch, c.cchSoFar);
        EXPECT_EQ(RTUtf16Utf8Length(units.data(), c.cwcMax, &cch), c.rc);
        EXPECT_EQ(cch, RTSTR_MAX);
    }
}

TEST(Utf16ToUtf8, CallerBufferNewBufferAndLimit)
{
    const RTUTF16 awsz[] = { 'a', 0xe9, 0x20ac, 0xd83d, 0xde00, 0 };
    const char szExpected[] = "a\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80";   /* 10 bytes */

    char ab[12];
    memset(ab, 'x', sizeof(ab));
    char *psz = ab;
    size_t cch = 0;
    EXPECT_EQ(RTUtf16ToUtf8Ex(awsz, kNoLimit, &psz, 10, &cch), ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(cch, 10u);
    EXPECT_EQ(ab[0], 'x');
    EXPECT_EQ(RTUtf16ToUtf8Ex(awsz, kNoLimit, &psz, 11, &cch), INF_SUCCESS);
    EXPECT_EQ(psz, ab);
    EXPECT_STREQ(ab, szExpected);
    EXPECT_EQ(ab[11], 'x');

    psz = nullptr;
    ASSERT_EQ(RTUtf16ToUtf8Ex(awsz, 3, &psz, 0, &cch), INF_SUCCESS);
    EXPECT_EQ(cch, 6u);
    EXPECT_STREQ(psz, "a\xc3\xa9\xe2\x82\xac");
    EXPECT_EQ(HeapSize(GetProcessHeap(), 0, psz), 7u);
    RTStrRelease(psz);

    psz = nullptr;
    ASSERT_EQ(RTUtf16ToUtf8Ex(awsz, kNoLimit, &psz, 64, nullptr), INF_SUCCESS);
    EXPECT_STREQ(psz, szExpected);
    EXPECT_EQ(HeapSize(GetProcessHeap(), 0, psz), 64u);
    RTStrRelease(psz);

    FailAllocations Fail;
    psz = nullptr;
    EXPECT_EQ(RTUtf16ToUtf8Ex(awsz, kNoLimit, &psz, 0, nullptr), ERR_STRING_ALLOC_FAILED);
    EXPECT_EQ(psz, nullptr);
}

/* Every limit across runs of three-byte characters and of surrogate pairs, the units
   ending where readable memory ends: a limit inside a pair is an error, and nothing past
   the limit is read. */
TEST(Utf16ToUtf8, RunsEndAtTheLimit)
{
    const RTUTF16 awc[] = { 0x65e5, 0x672c, 0xd83d, 0xde00, 0xd83d, 0xde80, 'a' };
    struct { size_t cwcMax; RTSTATUS rc; const char *pszExpected; } const aCases[] = {
        { 0, INF_SUCCESS,         "" },
        { 1, INF_SUCCESS,         "\xe6\x97\xa5" },
        { 2, INF_SUCCESS,         "\xe6\x97\xa5\xe6\x9c\xac" },
        { 3, ERR_UTF16_MALFORMED, nullptr },
        { 4, INF_SUCCESS,         "\xe6\x97\xa5\xe6\x9c\xac\xf0\x9f\x98\x80" },
        { 5, ERR_UTF16_MALFORMED, nullptr },
        { 6, INF_SUCCESS,         "\xe6\x97\xa5\xe6\x9c\xac\xf0\x9f\x98\x80\xf0\x9f\x9a\x80" },
        { 7, INF_SUCCESS,         "\xe6\x97\xa5\xe6\x9c\xac\xf0\x9f\x98\x80\xf0\x9f\x9a\x80" "a" },
    };
    PageEnd Page;
    ASSERT_TRUE(Page.valid());
    for (const auto &c : aCases)
    {
        SCOPED_TRACE(testing::Message() << "limit " << c.cwcMax);
        const RTUTF16 *pwsz = reinterpret_cast<const RTUTF16 *>(
            Page.place(reinterpret_cast<const char *>(awc), c.cwcMax * sizeof(RTUTF16)));
        char ab[24];
        memset(ab, 'x', sizeof(ab));
        char *psz = ab;
        size_t cch = 77;
        EXPECT_EQ(RTUtf16ToUtf8Ex(pwsz, c.cwcMax, &psz, sizeof(ab), &cch), c.rc);
        if (c.pszExpected)
        {
            EXPECT_EQ(cch, strlen(c.pszExpected));
            EXPECT_STREQ(ab, c.pszExpected);
            EXPECT_EQ(ab[cch + 1], 'x');
        }
        else
            EXPECT_EQ(ab[0], 'x');
    }
}

TEST(Utf16Decode, LittleAndBigEndianUnits)
{
    struct { std::vector<RTUTF16> units; RTSTATUS rc; RTUNICP cp; size_t cwcMove; } const aCases[] = {
        { { 0x0041, 0 },      INF_SUCCESS,                0x41,       1 },
        { { 0xd7ff, 0 },      INF_SUCCESS,                0xd7ff,     1 },
        { { 0xe000, 0 },      INF_SUCCESS,                0xe000,     1 },
        { { 0xfffd, 0 },      INF_SUCCESS,                0xfffd,     1 },
        { { 0xd83d, 0xde00 }, INF_SUCCESS,                0x1f600,    2 },
        { { 0xdbff, 0xdfff }, INF_SUCCESS,                0x10ffff,   2 },
        { { 0xd800, 0x0041 }, ERR_UTF16_MALFORMED,        CODEPOINT_BAD, 1 },
        { { 0xd800, 0 },      ERR_UTF16_MALFORMED,        CODEPOINT_BAD, 1 },
        { { 0xdc00, 0xdc00 }, ERR_UTF16_MALFORMED,        CODEPOINT_BAD, 1 },
        { { 0xfffe, 0 },      ERR_CODEPOINT_NONCHARACTER, CODEPOINT_BAD, 1 },
        { { 0xffff, 0 },      ERR_CODEPOINT_NONCHARACTER, CODEPOINT_BAD, 1 },
    };
    for (const auto &c : aCases)
    {
        SCOPED_TRACE(testing::Message() << "case " << &c - aCases);
        const RTUTF16 *pwc = c.units.data();
        RTUNICP cp = 0;
        EXPECT_EQ(RTUtf16DecodeCp(&pwc, &cp), c.rc);
        EXPECT_EQ(cp, c.cp);
        EXPECT_EQ(pwc, c.units.data() + c.cwcMove);

        std::vector<RTUTF16> swapped;
        for (RTUTF16 wc : c.units)
            swapped.push_back(static_cast<RTUTF16>((wc >> 8) | (wc << 8)));
        pwc = swapped.data();
        cp = 0;
        EXPECT_EQ(RTUtf16BigDecodeCp(&pwc, &cp), c.rc);
        EXPECT_EQ(cp, c.cp);
        EXPECT_EQ(pwc, swapped.data() + c.cwcMove);
    }
}

/* Random valid text of every width, at every alignment, against the platform's own
   conversion, and back again: catches slips in the word-at-a-time paths. */
TEST(Utf8Utf16, RandomTextMatchesThePlatformAndRoundTrips)
{
    std::mt19937 rng(20261209);
    auto randomCp = [&]() -> RTUNICP {
        switch (rng() % 5)
        {
            case 0: case 1: return 1 + rng() % 0x7f;
            case 2: return 0x80 + rng() % (0x800 - 0x80);
            case 3: { RTUNICP cp; do cp = 0x800 + rng() % (0x10000 - 0x800); while ((cp >= 0xd800 && cp < 0xe000) || cp >= 0xfffe); return cp; }
            default: return 0x10000 + rng() % 0x100000;
        }
    };
    for (int iRound = 0; iRound < 400; iRound++)
    {
        std::string s(rng() % 8, 'x');
        size_t const cCps = rng() % 40;
        for (size_t i = 0; i < cCps; i++)
        {
            char ab[8];
            s.append(ab, RTStrEncodeCp(ab, randomCp()));
            if (rng() % 3 == 0)
                s.append(rng() % 9, static_cast<char>('a' + rng() % 26));
        }
        SCOPED_TRACE(testing::Message() << "round " << iRound);

        int const cwcPlatform = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.c_str(), -1, nullptr, 0);
        ASSERT_GT(cwcPlatform, 0);
        std::vector<RTUTF16> expected(cwcPlatform);
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, s.c_str(), -1, expected.data(), cwcPlatform);

        std::vector<RTUTF16> out(cwcPlatform + 2, 0x5555);
        RTUTF16 *pwsz = out.data();
        size_t cwc = 0;
        ASSERT_EQ(RTStrToUtf16Ex(s.c_str(), kNoLimit, &pwsz, cwcPlatform, &cwc), INF_SUCCESS);
        EXPECT_EQ(cwc + 1, static_cast<size_t>(cwcPlatform));
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), out.begin()));
        EXPECT_EQ(out[cwcPlatform], 0x5555);

        std::vector<char> back(s.size() + 2, 'x');
        char *psz = back.data();
        size_t cch = 0;
        ASSERT_EQ(RTUtf16ToUtf8Ex(out.data(), kNoLimit, &psz, s.size() + 1, &cch), INF_SUCCESS);
        EXPECT_EQ(cch, s.size());
        EXPECT_EQ(std::string(back.data()), s);
        EXPECT_EQ(back[s.size() + 1], 'x');
    }
}

} /* namespace */
