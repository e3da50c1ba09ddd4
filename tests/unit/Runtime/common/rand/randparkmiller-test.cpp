/* The Park-Miller generator: its known sequence, the draws that take spare bits, the
 * saved-state text and its strict reading, refused objects, and the process-wide draw. */
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include "rt/rand.h"
#include "rt/status.h"

namespace {

struct Gen
{
    RTRANDGEN h = nullptr;
    Gen() { EXPECT_EQ(RTRandParkMillerCreate(&h), INF_SUCCESS); }
    ~Gen() { EXPECT_EQ(RTRandGenDestroy(h), INF_SUCCESS); }
    std::string Save()
    {
        char sz[64];
        size_t cb = sizeof(sz);
        EXPECT_EQ(RTRandGenSaveState(h, sz, &cb), INF_SUCCESS);
        return sz;
    }
};

} /* namespace */

TEST(RandParkMiller, KnownSequenceAndSpareBits)
{
    Gen g;
    ASSERT_EQ(RTRandGenSeed(g.h, 1), INF_SUCCESS);
    EXPECT_EQ(RTRandGenRangeU32(g.h, 0, 0x7FFFFFFE), 16807u);
    EXPECT_EQ(RTRandGenRangeU32(g.h, 0, 0x7FFFFFFE), 282475249u);
    EXPECT_EQ(RTRandGenRangeU32(g.h, 0, 0x7FFFFFFE), 1622650073u);

    /* Whole range: one step for the low 31 bits, a second kept for spare bits, two of which
       are used per draw. */
    RTRandGenSeed(g.h, 1);
    EXPECT_EQ(RTRandGenRangeU32(g.h, 0, UINT32_MAX), 0x400020D3u);
    EXPECT_EQ(g.Save(), "PM:10D63AF1,04358EBC,1c;");
    EXPECT_EQ(RTRandGenRangeU32(g.h, 0, UINT32_MAX), 0x305BD66Cu);

    /* A 64-bit draw is two whole-range draws, high word first, taken modulo the span. */
    RTRandGenSeed(g.h, 1);
    EXPECT_EQ(RTRandGenRangeU64(g.h, 10, 10 + UINT64_C(0x123456789AB)), UINT64_C(0xF798FDC7A6));

    /* A wide span takes 6 spare bits above the step's 30. */
    RTRandGenSeed(g.h, 1);
    EXPECT_EQ(RTRandGenRangeU32(g.h, 0, 0x80000000), 1073750203u);

    /* A zero state is replaced before it is multiplied. */
    RTRandGenSeed(g.h, UINT64_C(0x100000000));
    EXPECT_EQ(RTRandGenRangeU32(g.h, 0, 0x7FFFFFFE), static_cast<uint32_t>(20080806ull * 16807 % 0x7FFFFFFF));
}

TEST(RandParkMiller, DrawsStayInRange)
{
    static const struct { uint32_t uFirst, uLast; } s_aRanges[] = {
        { 0, 35 }, { 5, 5 }, { 100, 0x7FFFFFF + 100 }, { 1, 0x80000000 }, { 0xFFFFFF00, UINT32_MAX },
    };
    Gen g;
    for (auto const &r : s_aRanges)
        for (int i = 0; i < 2000; i++)
        {
            uint32_t const u = RTRandGenRangeU32(g.h, r.uFirst, r.uLast);
            ASSERT_TRUE(u >= r.uFirst && u <= r.uLast) << r.uFirst << ".." << r.uLast << ": " << u;
        }
    for (int i = 0; i < 2000; i++)
    {
        uint64_t const u = RTRandGenRangeU64(g.h, 1000, 1010);
        ASSERT_TRUE(u >= 1000 && u <= 1010) << u;
    }
}

TEST(RandParkMiller, BytesAreWholeRangeDrawsLowestFirst)
{
    Gen g, twin;
    RTRandGenSeed(g.h, 7);
    RTRandGenSeed(twin.h, 7);
    uint8_t ab[8];
    std::memset(ab, 0xEE, sizeof(ab));
    RTRandGenBytes(g.h, ab, 7);
    uint32_t const u1 = RTRandGenRangeU32(twin.h, 0, UINT32_MAX);
    uint32_t const u2 = RTRandGenRangeU32(twin.h, 0, UINT32_MAX);
    uint8_t const abExpected[8] = { uint8_t(u1), uint8_t(u1 >> 8), uint8_t(u1 >> 16), uint8_t(u1 >> 24),
                                    uint8_t(u2), uint8_t(u2 >> 8), uint8_t(u2 >> 16), 0xEE };
    EXPECT_EQ(0, std::memcmp(ab, abExpected, sizeof(ab)));
}

TEST(RandParkMiller, SaveAndRestore)
{
    Gen g;
    EXPECT_EQ(g.Save(), "PM:20080806,00000000,00;");

    char sz[32];
    size_t cb = 24;
    EXPECT_EQ(RTRandGenSaveState(g.h, sz, &cb), ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(cb, 25u);
    cb = 25;
    EXPECT_EQ(RTRandGenSaveState(g.h, sz, &cb), INF_SUCCESS);

    /* A restored state replays the same draws, spare bits included. */
    RTRandGenRangeU32(g.h, 0, UINT32_MAX);
    std::string const saved = g.Save();
    uint32_t const u1 = RTRandGenRangeU32(g.h, 0, UINT32_MAX), u2 = RTRandGenRangeU32(g.h, 3, 0x90000000);
    ASSERT_EQ(RTRandGenRestoreState(g.h, saved.c_str()), INF_SUCCESS);
    EXPECT_EQ(RTRandGenRangeU32(g.h, 0, UINT32_MAX), u1);
    EXPECT_EQ(RTRandGenRangeU32(g.h, 3, 0x90000000), u2);
    EXPECT_EQ(RTRandGenRestoreState(g.h, "pm:0000000a,0000000B,1c;"), ERR_STATE_STRING_MALFORMED);
    EXPECT_EQ(RTRandGenRestoreState(g.h, "PM:0000000a,0000000B,1c;"), INF_SUCCESS);
    EXPECT_EQ(g.Save(), "PM:0000000A,0000000B,1c;");

    static const char *const s_apszMalformed[] = {
        "PM:000000A,0000000B,1c;",      /* 7 digits */
        "PM:000000000A,0000000B,1c;",   /* 10 digits */
        "PM:0000000A,0000000B,1c",      /* no ";" */
        "PM:0000000A,0000000B,1c;x",    /* text after the end */
        "PM:0000000A;0000000B,1c;",     /* wrong separator */
        "PM:0000000A,000g000B,1c;",     /* not a digit */
        "PM:+000000A,0000000B,1c;",     /* a sign */
        "PM:0x00000A,0000000B,1c;",     /* a prefix */
        "PM:",
        "",
    };
    for (const char *psz : s_apszMalformed)
    {
        EXPECT_EQ(RTRandGenRestoreState(g.h, psz), ERR_STATE_STRING_MALFORMED) << psz;
        EXPECT_EQ(g.Save(), "PM:0000000A,0000000B,1c;") << psz;
    }
}

TEST(RandParkMiller, RefusesObjectsThatAreNotGenerators)
{
    for (RTRANDGEN h : { static_cast<RTRANDGEN>(nullptr), reinterpret_cast<RTRANDGEN>(0x10),
                         reinterpret_cast<RTRANDGEN>(static_cast<uintptr_t>(-16)) })
    {
        EXPECT_EQ(RTRandGenRangeU32(h, 0, 9), UINT32_MAX);
        EXPECT_EQ(RTRandGenSeed(h, 1), ERR_BAD_HANDLE);
        char sz[32];
        size_t cb = sizeof(sz);
        EXPECT_EQ(RTRandGenSaveState(h, sz, &cb), ERR_BAD_HANDLE);
        EXPECT_EQ(RTRandGenRestoreState(h, "PM:00000001,00000000,00;"), ERR_BAD_HANDLE);
        RTRandGenBytes(h, sz, sizeof(sz));
    }
    EXPECT_EQ(RTRandGenDestroy(nullptr), INF_SUCCESS);
    EXPECT_EQ(RTRandGenDestroy(reinterpret_cast<RTRANDGEN>(0x10)), ERR_BAD_HANDLE);

    /* An object whose magic is not the live one, as after destruction. */
    Gen g;
    uint32_t const u32Magic = *reinterpret_cast<uint32_t *>(g.h);
    *reinterpret_cast<uint32_t *>(g.h) = 0xE6ACEEE7;
    EXPECT_EQ(RTRandGenSeed(g.h, 1), ERR_BAD_HANDLE);
    EXPECT_EQ(RTRandGenDestroy(g.h), ERR_BAD_HANDLE);
    *reinterpret_cast<uint32_t *>(g.h) = u32Magic;
}

TEST(RandProcess, DrawsCoverTheRange)
{
    bool afSeen[36] = {};
    for (int i = 0; i < 10000; i++)
    {
        uint32_t const u = RTRandRangeU32(0, 35);
        ASSERT_LE(u, 35u);
        afSeen[u] = true;
    }
    for (unsigned i = 0; i < 36; i++)
        EXPECT_TRUE(afSeen[i]) << i;
}
