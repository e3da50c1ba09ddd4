/* CRC-32 checksums: the cyclic redundancy check of the polynomial 0x04C11DB7 in its
 * reflected form, starting from all ones and inverted at the end (the checksum of zip
 * archives, PNG images and Ethernet frames). For detecting accidental damage; it proves
 * nothing against deliberate change. */
#pragma once
#include "rt/types.h"

/** The checksum of no bytes, and where a running checksum starts. */
inline constexpr uint32_t RTCRC32_INITIAL = 0;
/** The checksum of the nine ASCII digits "123456789", the usual check of an implementation. */
inline constexpr uint32_t RTCRC32_CHECK_VALUE = 0xCBF43926u;

RT_C_DECLS_BEGIN

/** The checksum of the bytes behind @p uCrc (the checksum of the bytes so far, or
 *  RTCRC32_INITIAL) followed by the @p cb bytes at @p pv: feeding a buffer in pieces gives
 *  the checksum of the whole. Safe from any thread. */
uint32_t RTCrc32Add(uint32_t uCrc, const void *pv, size_t cb);

RT_C_DECLS_END
