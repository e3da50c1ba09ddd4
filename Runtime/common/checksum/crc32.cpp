/* CRC-32, eight bytes at a time: eight lookup tables, each folding one byte of a 64-bit
 * step in, so that the step's lookups do not wait on one another as a byte-at-a-time loop's
 * do. The tables are computed on first use into zero-initialised storage: 8 KiB of
 * constants would cost the image as much, their computation a few dozen bytes of code. */
#include "rt/crc32.h"
#include "rt/once.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the eight-byte step reads little-endian words");

namespace {

/** The polynomial, bit-reversed: bit 0 stands for x^31. */
constexpr uint32_t RTCRC32_POLYNOMIAL_REFLECTED = 0xEDB88320u;
/** Bytes folded in by one step of the main loop, and as many tables. */
constexpr size_t RTCRC32_SLICES = 8;

} /* namespace */

/** g_aau32Crc32[k][b]: the remainder of byte b followed by k zero bytes. */
static uint32_t   g_aau32Crc32[RTCRC32_SLICES][256];
static RTONCEREC  g_Crc32Once = RTONCEREC_INITIALISER;

static RTSTATUS rtCrc32MakeTables(void *pvUser)
{
    (void)pvUser;
    for (uint32_t b = 0; b < 256; b++)
    {
        uint32_t u = b;
        for (unsigned iBit = 0; iBit < 8; iBit++)
            u = (u >> 1) ^ (RTCRC32_POLYNOMIAL_REFLECTED & (0u - (u & 1)));
        g_aau32Crc32[0][b] = u;
    }
    /* One more zero byte: shift the remainder out by a byte and fold in what fell off. */
    for (size_t k = 1; k < RTCRC32_SLICES; k++)
        for (uint32_t b = 0; b < 256; b++)
        {
            uint32_t const uPrev = g_aau32Crc32[k - 1][b];
            g_aau32Crc32[k][b] = (uPrev >> 8) ^ g_aau32Crc32[0][uPrev & 0xFF];
        }
    return INF_SUCCESS;
}

uint32_t RTCrc32Add(uint32_t uCrc, const void *pv, size_t cb)
{
    /* Making the tables cannot fail; the once-record only keeps a second thread from
     * reading them half made. */
    RTOnceRun(&g_Crc32Once, rtCrc32MakeTables, nullptr, nullptr);
    uint32_t (&t)[RTCRC32_SLICES][256] = g_aau32Crc32;
    const uint8_t *pb = static_cast<const uint8_t *>(pv);
    uCrc = ~uCrc;
    for (; cb >= RTCRC32_SLICES; cb -= RTCRC32_SLICES, pb += RTCRC32_SLICES)
    {
        uint32_t uLow, uHigh;
        __builtin_memcpy(&uLow, pb, sizeof(uLow));
        __builtin_memcpy(&uHigh, pb + 4, sizeof(uHigh));
        uLow ^= uCrc;
        uCrc = t[7][uLow & 0xFF] ^ t[6][(uLow >> 8) & 0xFF] ^ t[5][(uLow >> 16) & 0xFF] ^ t[4][uLow >> 24]
             ^ t[3][uHigh & 0xFF] ^ t[2][(uHigh >> 8) & 0xFF] ^ t[1][(uHigh >> 16) & 0xFF] ^ t[0][uHigh >> 24];
    }
    for (; cb; cb--)
        uCrc = (uCrc >> 8) ^ t[0][(uCrc ^ *pb++) & 0xFF];
    return ~uCrc;
}
