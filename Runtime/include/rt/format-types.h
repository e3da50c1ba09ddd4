/* The typed directives of the format engine (%R...): the far-pointer records the
 * selector:offset directives take by value, IPv6 text, and the registry of named custom
 * types printed by %R[name]. */
#pragma once
#include "rt/format.h"

/** Arguments of %RTfp16, %RTfp32 and %RTfp64, passed by value. */
typedef struct RTFAR16
{
    uint16_t off;
    uint16_t sel;
} RTFAR16;
typedef struct RTFAR32
{
    uint32_t off;
    uint16_t sel;
    uint16_t u16Padding;
} RTFAR32;
#pragma pack(push, 4)
typedef struct RTFAR64
{
    uint64_t off;
    uint16_t sel;
    uint16_t u16Padding;
} RTFAR64;
#pragma pack(pop)
static_assert(sizeof(RTFAR16) == 4 && sizeof(RTFAR32) == 8 && sizeof(RTFAR64) == 12,
              "far pointers fill 32-bit, 64-bit and 12-byte argument slots");

/** Prints one custom-type argument; returns the number of bytes output (the sum of the
 *  output callback's results). pszType is the registered name, zero-terminated. */
typedef size_t (*RTFmtCustomTypeFn)(RTFmtOutputFn pfnOutput, void *pvOutput, const char *pszType,
                                    uint32_t uValue, int cchWidth, int cchPrecision,
                                    uint32_t fFlags, void *pvUser);

/** Longest custom-type name, and how many types the registry holds. */
inline constexpr size_t RTFMT_CUSTOM_NAME_MAX = 63;
inline constexpr size_t RTFMT_CUSTOM_TYPES_MAX = 32;

RT_C_DECLS_BEGIN

/** Prints a 16-byte IPv6 address in its shortest text form. */
size_t RTFmtIPv6(RTFmtOutputFn pfnOutput, void *pvOutput, const uint8_t *pabAddr);

/** Finds a registered custom type by name (cchName bytes, no terminator needed);
 *  returns its index or -1. */
int RTFmtCustomLookup(const char *pchName, size_t cchName);

/** Registers a handler for %R[pszName]. The name is 1 to RTFMT_CUSTOM_NAME_MAX bytes
 *  without ']', '[' or '%'. Register types before other threads format them: the
 *  registry is read without a lock. */
RTSTATUS RTFmtCustomRegister(const char *pszName, RTFmtCustomTypeFn pfnHandler, void *pvUser);
/** Removes a registered custom type. */
RTSTATUS RTFmtCustomDeregister(const char *pszName);

RT_C_DECLS_END
