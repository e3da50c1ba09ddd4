/* The module record shared by the generic loader and its native back end. */
#pragma once
#include "rt/ldr.h"
#include "rt/err.h"
#include "rt/string.h"

inline constexpr uint32_t RTLDRMOD_MAGIC = 0x19531118;
inline constexpr uint32_t RTLDRMOD_STATE_OPEN = 3;

struct RTLDRMODINTERNAL;

/** What a kind of module can do; native modules fill the first slots only. */
struct RTLDROPS
{
    const char *pszName;
    RTSTATUS  (*pfnClose)(RTLDRMODINTERNAL *pMod);
    RTSTATUS  (*pfnGetSymbol)(RTLDRMODINTERNAL *pMod, const char *pszSymbol, void **ppvValue);
    RTSTATUS  (*pfnDone)(RTLDRMODINTERNAL *pMod);
    RTSTATUS  (*pfnEnumSymbols)(RTLDRMODINTERNAL *pMod);
    void       *apvImageOps[16];     /**< image operations native modules do not offer */
    uint32_t    uEndMarker;          /**< RTLDROPS_END_MARKER */
};
inline constexpr uint32_t RTLDROPS_END_MARKER = 42;

struct RTLDRMODINTERNAL
{
    uint32_t          u32Magic;      /**< RTLDRMOD_MAGIC while valid; changed on release */
    uint32_t          enmState;      /**< RTLDRMOD_STATE_OPEN, 0 once released */
    const RTLDROPS   *pOps;
    void             *pReader;       /**< always null for native modules */
    uint32_t          enmFormat, enmType, enmEndian, enmArch;
    RTLDRNATIVEHANDLE hNative;       /**< RTLDR_NATIVE_NIL until loaded and after unloading */
    uint32_t          fFlags;
};

RT_C_DECLS_BEGIN

/** The native back end's operations. */
extern const RTLDROPS g_rtldrNativeOps;
/** Loads @p pszName plus @p pszSuffix (may be null) from the system directory. */
RTSTATUS rtldrNativeLoadSystem(const char *pszName, const char *pszSuffix, uint32_t fFlags, RTLDRMOD *phMod);
/** Loads the full path @p pszFilename. */
RTSTATUS rtldrNativeLoad(const char *pszFilename, RTLDRNATIVEHANDLE *phNative, uint32_t fFlags, RTERRINFO *pErrInfo);

/** Whether a side-by-side redirection of a system library to @p pwszPath (@p cwcPath units)
 *  may be followed: it must share at least the drive and the Windows directory with the
 *  system directory @p pwszSysDir and have no "." or ".." component. */
bool rtldrNativeIsTrustedRedirection(const RTUTF16 *pwszPath, size_t cwcPath, const RTUTF16 *pwszSysDir);

RT_C_DECLS_END
