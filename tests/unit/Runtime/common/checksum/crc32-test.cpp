/* CRC-32: the published check values, agreement with a bit-at-a-time reference at every
 * length and alignment around the eight-byte step, and a checksum fed in pieces. */
#include <gtest/gtest.h>
#include <cstring>
#include <string>
#include <vector>
#include "rt/crc32.h"

namespace {

uint32_t Crc(const std::string &str)
{
    return RTCrc32Add(RTCRC32_INITIAL, str.data(), str.size());
}

/** One bit at a time, straight from the definition. */
uint32_t ReferenceCrc(const uint8_t *pb, size_t cb)
{
    uint32_t u = 0xFFFFFFFFu;
    for (size_t i = 0; i < cb; i++)
    {
        u ^= pb[i];
        for (int iBit = 0; iBit < 8; iBit++)
            u = u & 1 ? (u >> 1) ^ 0xEDB88320u : u >> 1;
    }
    return ~u;
}

TEST(Crc32, PublishedValues)
{
    static const struct { std::string str; uint32_t uCrc; } s_aCases[] =
    {
        { "", 0 },
        { "a", 0xE8B7BE43u },
        { "123456789", RTCRC32_CHECK_VALUE },
        { "The quick brown fox jumps over the lazy dog", 0x414FA339u },
        { std::string(32, '\0'), 0x190A55ADu },
        { std::string(32, '\xFF'), 0xFF6CAB0Bu },
    };
    for (auto const &C : s_aCases)
        EXPECT_EQ(Crc(C.str), C.uCrc) << '"' << C.str << '"';
    EXPECT_EQ(RTCRC32_CHECK_VALUE, 0xCBF43926u);
}

TEST(Crc32, AgreesWithTheDefinitionAtEveryLengthAndAlignment)
{
    std::vector<uint8_t> ab(4096 + 16);
    uint32_t uSeed = 1;
    for (auto &b : ab)
    {
        uSeed = uSeed * 1103515245u + 12345u;
        b = static_cast<uint8_t>(uSeed >> 16);
    }
    for (size_t off = 0; off < 8; off++)
        for (size_t cb : { 0, 1, 3, 7, 8, 9, 15, 16, 17, 63, 64, 65, 1000, 4096 })
            EXPECT_EQ(RTCrc32Add(RTCRC32_INITIAL, &ab[off], cb), ReferenceCrc(&ab[off], cb))
                << "offset " << off << ", " << cb << " bytes";
}

TEST(Crc32, PiecesGiveTheChecksumOfTheWhole)
{
    std::string const str = "The quick brown fox jumps over the lazy dog";
    for (size_t cbFirst = 0; cbFirst <= str.size(); cbFirst++)
        for (size_t cbSecond : { size_t(0), size_t(1), size_t(9) })
        {
            if (cbFirst + cbSecond > str.size())
                continue;
            uint32_t u = RTCrc32Add(RTCRC32_INITIAL, str.data(), cbFirst);
            u = RTCrc32Add(u, str.data() + cbFirst, cbSecond);
            u = RTCrc32Add(u, str.data() + cbFirst + cbSecond, str.size() - cbFirst - cbSecond);
            EXPECT_EQ(u, 0x414FA339u) << cbFirst << " + " << cbSecond;
        }
}

} // namespace
