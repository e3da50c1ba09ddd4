/* Text-to-value conversions: integers of every width and base (lenient and strict),
 * IPv4 addresses and networks, MAC addresses, hexadecimal byte strings, UUIDs, and the
 * substring search. */
#pragma once
#include "rt/types.h"
#include "rt/status.h"

/** Base-and-limit word: the base in the low 8 bits (2..35; 0 or 36 and up: detected from
 *  the text), the most characters to read in the upper 24 bits (0: no limit). */
inline constexpr uint32_t RTStrBaseAndLimit(unsigned uBase, uint32_t cchMax)
{
    return (uBase & 0xFFu) | (cchMax << 8);
}

/** RTStrParseHexBytes: bytes may also be written as ':'-separated groups of one or two
 *  digits (a single digit is the low nibble, an empty group a zero byte). */
inline constexpr uint32_t STRHEX_COLON_GROUPS = 1;

RT_C_DECLS_BEGIN

RTSTATUS RTStrParseI64(const char *psz, char **ppszNext, uint32_t uBaseAndMax, int64_t *pi64);
RTSTATUS RTStrParseU64(const char *psz, char **ppszNext, uint32_t uBaseAndMax, uint64_t *pu64);
RTSTATUS RTStrParseI64Strict(const char *psz, uint32_t uBaseAndMax, int64_t *pi64);
RTSTATUS RTStrParseU64Strict(const char *psz, uint32_t uBaseAndMax, uint64_t *pu64);
RTSTATUS RTStrParseI32Strict(const char *psz, uint32_t uBaseAndMax, int32_t *pi32);
RTSTATUS RTStrParseU32Strict(const char *psz, uint32_t uBaseAndMax, uint32_t *pu32);
RTSTATUS RTStrParseI16Strict(const char *psz, uint32_t uBaseAndMax, int16_t *pi16);
RTSTATUS RTStrParseU16Strict(const char *psz, uint32_t uBaseAndMax, uint16_t *pu16);
RTSTATUS RTStrParseI8Strict(const char *psz, uint32_t uBaseAndMax, int8_t *pi8);
RTSTATUS RTStrParseU8Strict(const char *psz, uint32_t uBaseAndMax, uint8_t *pu8);
RTSTATUS RTStrParseU32(const char *psz, char **ppszNext, uint32_t uBaseAndMax, uint32_t *pu32);
RTSTATUS RTStrParseU8(const char *psz, char **ppszNext, uint32_t uBaseAndMax, uint8_t *pu8);
int32_t  RTStrToI32OrZero(const char *psz);

/** IPv4 address into 4 bytes in text order. */
RTSTATUS RTNetParseIPv4Ex(const char *psz, uint8_t *pabAddr, char **ppszNext);
RTSTATUS RTNetParseIPv4(const char *psz, uint8_t *pabAddr);
/** IPv4 network: address and mask as 32-bit values in host order (192.168.0.0 is 0xC0A80000). */
RTSTATUS RTNetParseIPv4Cidr(const char *psz, uint32_t *puAddr, uint32_t *puMask);
/** Ethernet MAC address into 6 bytes. */
RTSTATUS RTNetParseMac(const char *psz, uint8_t *pabMac);
RTSTATUS RTStrParseHexBytes(const char *psz, void *pv, size_t cb, uint32_t fFlags);
/** UUID into 16 bytes: the first three groups in little-endian order, the rest as written. */
RTSTATUS RTUuidParse(void *pvUuid, const char *psz);

const char *RTStrFindSubstr(const char *psz, const char *pszPattern);
const char *RTStrFindSubstrSafe(const char *psz, const char *pszPattern);

RT_C_DECLS_END
