/* Loading of native libraries: by bare name only from the system directory, or by full
 * path; module records through which symbols are resolved. */
#pragma once
#include "rt/types.h"
#include "rt/status.h"

struct RTERRINFO;
typedef struct RTLDRMODINTERNAL *RTLDRMOD;
/** An operating-system module handle as an integer; RTLDR_NATIVE_NIL when there is none. */
typedef uintptr_t RTLDRNATIVEHANDLE;
inline constexpr RTLDRNATIVEHANDLE RTLDR_NATIVE_NIL = ~static_cast<uintptr_t>(0);

/* Load flags. */
inline constexpr uint32_t RTLDRF_LOCAL             = 0x1;  /**< refused on this platform */
inline constexpr uint32_t RTLDRF_KEEP_LOADED       = 0x2;  /**< releasing the record keeps the library */
inline constexpr uint32_t RTLDRF_SEARCH_LOAD_DIR   = 0x4;  /**< dependencies also from the library's own directory */
inline constexpr uint32_t RTLDRF_NO_DEFAULT_SUFFIX = 0x8;  /**< no ".DLL" for a name without suffix */
inline constexpr uint32_t RTLDRF_VALID_MASK        = 0xF;

/** A system library name must be shorter than this, in bytes. */
inline constexpr size_t RTLDR_SYSTEM_NAME_MAX = 3075;

RT_C_DECLS_BEGIN

/** Loads @p pszName from the system directory; @p fKeepLoaded sets RTLDRF_KEEP_LOADED. */
RTSTATUS RTLdrLoadSystemLib(const char *pszName, bool fKeepLoaded, RTLDRMOD *phMod);
/** Loads @p pszName (no path, ".DLL" added when it has no suffix) from the system directory. */
RTSTATUS RTLdrLoadSystemEx(const char *pszName, uint32_t fFlags, RTLDRMOD *phMod);
/** Loads the library at the full path @p pszFilename. */
RTSTATUS RTLdrLoadNative(const char *pszFilename, RTLDRMOD *phMod, uint32_t fFlags, RTERRINFO *pErrInfo);
RTSTATUS RTLdrLookupSymbol(RTLDRMOD hMod, const char *pszSymbol, void **ppvValue);
/** Closes the record (null is fine); the library stays when it was loaded to be kept. */
RTSTATUS RTLdrRelease(RTLDRMOD hMod);
/** The operating-system handle of a native module, or RTLDR_NATIVE_NIL. */
RTLDRNATIVEHANDLE RTLdrNativeHandleOf(RTLDRMOD hMod);
/** The address of @p pszSymbol in the system library @p pszName (kept loaded), or null. */
void *RTLdrSystemSymbol(const char *pszName, const char *pszSymbol);

RT_C_DECLS_END
