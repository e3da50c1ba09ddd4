/* The option parser: matches an argument vector against a table of option descriptors,
 * one option (or plain argument) per call, converting option values by type, and reports
 * what a caller does not handle. */
#pragma once
#include "rt/types.h"
#include "rt/status.h"

/** Value types: the low five bits of RTOPTDESC::fKind. */
inline constexpr uint32_t OPTVAL_TYPE_MASK     = 0x1F;
inline constexpr uint32_t OPTVAL_NONE          = 0;
inline constexpr uint32_t OPTVAL_STRING        = 1;
inline constexpr uint32_t OPTVAL_I8            = 2;
inline constexpr uint32_t OPTVAL_U8            = 3;
inline constexpr uint32_t OPTVAL_I16           = 4;
inline constexpr uint32_t OPTVAL_U16           = 5;
inline constexpr uint32_t OPTVAL_I32           = 6;
inline constexpr uint32_t OPTVAL_U32           = 7;
inline constexpr uint32_t OPTVAL_I64           = 8;
inline constexpr uint32_t OPTVAL_U64           = 9;
inline constexpr uint32_t OPTVAL_IPV4          = 10;
inline constexpr uint32_t OPTVAL_IPV4_CIDR     = 11;
inline constexpr uint32_t OPTVAL_MAC           = 14;
inline constexpr uint32_t OPTVAL_UUID          = 15;
inline constexpr uint32_t OPTVAL_ONOFF         = 16;
inline constexpr uint32_t OPTVAL_BOOL          = 17;
inline constexpr uint32_t OPTVAL_PAIR_U32      = 18;
inline constexpr uint32_t OPTVAL_PAIR_U64      = 19;
inline constexpr uint32_t OPTVAL_PAIR_U32_OPT  = 20;
inline constexpr uint32_t OPTVAL_PAIR_U64_OPT  = 21;

/** Flags of RTOPTDESC::fKind. */
inline constexpr uint32_t OPTF_HEX             = 0x10000;
inline constexpr uint32_t OPTF_OCT             = 0x20000;
inline constexpr uint32_t OPTF_DEC             = 0x40000;
inline constexpr uint32_t OPTF_INDEXED         = 0x80000;
inline constexpr uint32_t OPTF_INDEX_DEFAULT_0 = 0x100000;
inline constexpr uint32_t OPTF_INDEX_DEFAULT_1 = 0x200000;
inline constexpr uint32_t OPTF_INDEX_DASH      = 0x400000;
inline constexpr uint32_t OPTF_NOCASE          = 0x800000;

/** Exit code of a command-line error. */
inline constexpr int RTEXITCODE_SYNTAX = 2;

/** RTGetOptInit flags. */
inline constexpr uint32_t OPTINIT_DEFER_PLAIN  = 1;
inline constexpr uint32_t OPTINIT_NO_BUILTIN   = 2;

/** One accepted form of an option name. */
struct RTOPTDESC
{
    const char *pszName;    /**< the whole form, prefixes included ("--path", "/?") */
    int32_t     iId;        /**< returned when found; doubles as the short-option letter */
    uint32_t    fKind;      /**< value type and OPTF_ flags */
};

/** What RTGetOptNext delivers beside its result. */
union RTOPTVALUE
{
    const RTOPTDESC *pDesc;     /**< the matched descriptor (no value, most errors) */
    const char      *psz;       /**< a string value, a plain argument, an unknown option */
    int8_t           i8;
    uint8_t          u8;
    int16_t          i16;
    uint16_t         u16;
    int32_t          i32;
    uint32_t         u32;
    int64_t          i64;
    uint64_t         u64;
    uint8_t          abIPv4[4];     /**< in text order */
    struct { uint32_t uAddr, uMask; } CidrIPv4;   /**< host order */
    uint8_t          abMac[6];
    uint8_t          abUuid[16];
    bool             f;
    struct { uint32_t uFirst, uSecond; } PairU32;
    struct { uint64_t uFirst, uSecond; } PairU64;
};
static_assert(sizeof(RTOPTVALUE) >= 16, "the value union holds a UUID and a 64-bit pair");

/** Parser state; the caller owns it, usually on the stack. */
struct RTOPTPARSER
{
    int32_t          iArg;          /**< next argument to examine */
    char           **papszArgs;     /**< reordered in place, never copied or freed */
    int32_t          cArgs;
    const RTOPTDESC *paDescs;
    uint32_t         cDescs;
    const char      *pszCluster;    /**< next letter of a short-option cluster, or null */
    const RTOPTDESC *pLastDesc;     /**< the option last returned */
    uint32_t         iOptIndex;     /**< index of an indexed option; UINT32_MAX when none */
    uint32_t         fInit;
    int32_t          cDeferred;     /**< plain arguments set aside; INT32_MAX: only plain ones remain */
};

/** A family of option value types, opaque outside the parser. Strings need none. */
struct RTGETOPTVALFAMILY;
extern const RTGETOPTVALFAMILY g_RTGetOptValNumbers;  /**< OPTVAL_I8 to OPTVAL_U64 and the pairs */
extern const RTGETOPTVALFAMILY g_RTGetOptValWords;    /**< OPTVAL_BOOL, OPTVAL_ONOFF */
extern const RTGETOPTVALFAMILY g_RTGetOptValNet;      /**< OPTVAL_IPV4, OPTVAL_IPV4_CIDR, OPTVAL_MAC, OPTVAL_UUID */

/** The value families a program's option tables use, ending with a null entry; an option
 *  whose type no listed family converts fails with ERR_INTERNAL_FAULT, as an undefined
 *  type does. The runtime's own list names every family. A program whose options take
 *  only strings, or only a few types, defines this list itself and then links only the
 *  conversions it names:
 *      const RTGETOPTVALFAMILY *const g_apRTGetOptValFamilies[] = { &g_RTGetOptValWords, nullptr };
 *  (an object given to the linker is taken before the runtime archive's default). */
extern const RTGETOPTVALFAMILY *const g_apRTGetOptValFamilies[];

RT_C_DECLS_BEGIN

RTSTATUS RTGetOptInit(RTOPTPARSER *pState, int cArgs, char **papszArgs, const RTOPTDESC *paDescs,
                      uint32_t cDescs, int iFirst, uint32_t fFlags);
int      RTGetOptNext(RTOPTPARSER *pState, RTOPTVALUE *pValue);
RTSTATUS RTGetOptTakeValue(RTOPTPARSER *pState, RTOPTVALUE *pValue, uint32_t fKind);
/** Prints a message for a result of RTGetOptNext that the caller does not handle (an
 *  option without a case, a plain argument, an error) on standard error.
 *  @returns 2, the exit code of a command-line error. */
int      RTGetOptReportError(int rcGetOpt, const RTOPTVALUE *pValue);

RT_C_DECLS_END
