/* The format engine: printf-style formatting streamed to an output callback, its buffer
 * and allocating front ends, and the number and float formatters it is built on. */
#pragma once
#include "rt/types.h"
#include "rt/status.h"

/** Receives one piece of output (UTF-8, not terminated) and returns how many bytes it
 *  took. A final call with a null pointer and count 0 ends every format. */
typedef size_t (*RTFmtOutputFn)(void *pvUser, const char *pch, size_t cch);

/** Called for a conversion character the engine does not know. It must move *ppszFormat
 *  past what it consumed (if it does not, the character prints as text) and returns the
 *  number of bytes it output. chArgSize is the size prefix the engine parsed: 0 for none,
 *  'h', 'H' (hh), 'l', 'L' (L or ll), 'q' (q or I64), 'j' (j or a lone I), 'z' or 't'. */
typedef size_t (*RTFmtExtensionFn)(void *pvExtUser, RTFmtOutputFn pfnOutput, void *pvOutUser,
                                   const char **ppszFormat, va_list *pArgs, int cchWidth,
                                   int cchPrecision, uint32_t fFlags, char chArgSize);

/** Format flags, shared with the typed directives and RTFmtNumber. */
inline constexpr uint32_t FMT_UPPER           = 0x1;
inline constexpr uint32_t FMT_LEFT            = 0x2;
inline constexpr uint32_t FMT_ZERO_FILL       = 0x4;
inline constexpr uint32_t FMT_BASE_PREFIX     = 0x8;
inline constexpr uint32_t FMT_SIGNED          = 0x10;
inline constexpr uint32_t FMT_SHOW_PLUS       = 0x20;
inline constexpr uint32_t FMT_SHOW_BLANK      = 0x40;
inline constexpr uint32_t FMT_WIDTH_GIVEN     = 0x80;
inline constexpr uint32_t FMT_PRECISION_GIVEN = 0x100;
inline constexpr uint32_t FMT_GROUP_DIGITS    = 0x200;
inline constexpr uint32_t FMT_8BIT            = 0x800;
inline constexpr uint32_t FMT_16BIT           = 0x1000;
inline constexpr uint32_t FMT_32BIT           = 0x2000;
inline constexpr uint32_t FMT_64BIT           = 0x4000;

/** A family of typed directives (%R...), opaque outside the engine. */
struct RTFMTRTYPEFAMILY;
extern const RTFMTRTYPEFAMILY g_RTFmtRTypeNumbers;  /**< %RU32, %RX64, %RTbool, %RTnthrd... */
extern const RTFMTRTYPEFAMILY g_RTFmtRTypeObjects;  /**< %RTuuid, %RTmac, %RTnaipv6, %RTeic, %RDtimespec */
extern const RTFMTRTYPEFAMILY g_RTFmtRTypeStatus;   /**< %Rrc, %Rrs, %Rrf, %Rra */
extern const RTFMTRTYPEFAMILY g_RTFmtRTypeWinStatus; /**< %Rwc, %Rwf, %Rwa */
extern const RTFMTRTYPEFAMILY g_RTFmtRTypeName;     /**< %Rbn, %Rfn, %Rbs */
extern const RTFMTRTYPEFAMILY g_RTFmtRTypeHex;      /**< %Rhxs, %RhXd... */
extern const RTFMTRTYPEFAMILY g_RTFmtRTypeSize;     /**< %Rhcb, %Rhui... */
extern const RTFMTRTYPEFAMILY g_RTFmtRTypeEscape;   /**< %RMes, %RMpa... */
extern const RTFMTRTYPEFAMILY g_RTFmtRTypeCustom;   /**< %R[name] */

/** The typed-directive families a program prints, ending with a null entry; a type of a
 *  family left out prints as an unknown type. The runtime's own list names every family.
 *  A program that prints only a few defines this list itself, and then links only the
 *  code of the families it names:
 *      const RTFMTRTYPEFAMILY *const g_apRTFmtRTypeFamilies[] =
 *          { &g_RTFmtRTypeStatus, &g_RTFmtRTypeNumbers, nullptr };
 *  (an object given to the linker is taken before the runtime archive's default). */
extern const RTFMTRTYPEFAMILY *const g_apRTFmtRTypeFamilies[];

/** The conversion the engine prints floating-point directives with; the runtime's own
 *  definition is RTFmtFloat (below). A program that never prints a floating-point value
 *  defines
 *      const RTFmtFloatFn g_pfnRTFmtFloat = nullptr;
 *  and then links none of the conversion: each such directive still takes its double
 *  argument, so later arguments stay in place, but prints nothing. */
typedef int (*RTFmtFloatFn)(char *pszBuf, size_t cbBuf, const double *pr64Value, int cchWidth,
                            int cchPrecision, uint32_t fFlags);
extern const RTFmtFloatFn g_pfnRTFmtFloat;

RT_C_DECLS_BEGIN

size_t RTFmtV(RTFmtOutputFn pfnOutput, void *pvOutput, RTFmtExtensionFn pfnExt, void *pvExt,
              const char *pszFormat, va_list args);
size_t RTFmt(RTFmtOutputFn pfnOutput, void *pvOutput, RTFmtExtensionFn pfnExt, void *pvExt,
             const char *pszFormat, ...);

/** Formats an integer into a destination of at least 64 bytes; returns the length (at
 *  most 63) and always terminates. A base outside 2..16 gives an empty text. */
int RTFmtNumber(char *pszDst, uint64_t u64Value, unsigned uBase, int cchWidth, int cchPrecision,
                uint32_t fFlags);
int RTStrFmtU32(char *pszBuf, size_t cbBuf, uint32_t u32Value, unsigned uBase, int cchWidth,
                int cchPrecision, uint32_t fFlags);
int RTStrFmtU64(char *pszBuf, size_t cbBuf, uint64_t u64Value, unsigned uBase, int cchWidth,
                int cchPrecision, uint32_t fFlags);
/** Renders the fields of an IEEE 754 double exactly (sign, 1m/0m, 52-bit mantissa in
 *  hexadecimal, '^' and the unbiased exponent). Returns the length or ERR_BUFFER_TOO_SMALL
 *  after storing what fits; ERR_BAD_POINTER for an invalid value pointer. */
int RTFmtFloat(char *pszBuf, size_t cbBuf, const double *pr64Value, int cchWidth,
               int cchPrecision, uint32_t fFlags);
/** RTFmtFloat flag that marks subnormals and spells out NaN payloads. */
inline constexpr uint32_t RTFMTFLOAT_VERBOSE = 0x8;

/** Truncating buffer writer: returns the bytes stored (terminator excluded). */
size_t  RTStrPrintBuf(char *pszBuf, size_t cbBuf, const char *pszFormat, ...);
size_t  RTStrPrintBufV(char *pszBuf, size_t cbBuf, const char *pszFormat, va_list args);
/** Reporting buffer writer: returns the full length, or its complement (-length - 1)
 *  when the text did not fit. */
ptrdiff_t RTStrPrintBufEx(char *pszBuf, size_t cbBuf, const char *pszFormat, ...);
ptrdiff_t RTStrPrintBufExV(char *pszBuf, size_t cbBuf, const char *pszFormat, va_list args);
/** Allocating writer: returns the length and the new string (free with RTStrRelease),
 *  or -1 and null when memory runs out. */
int     RTStrPrintAllocV(char **ppszResult, const char *pszFormat, va_list args);
int     RTStrPrintAlloc(char **ppszResult, const char *pszFormat, ...);

RT_C_DECLS_END
