/* Lazily bound system libraries: the record of one bound library, which the generated
 * bindings define, and the compile-time checks they make against the platform's
 * declarations. */
#pragma once
#include "rt/ldr.h"

/** One bound library: its slots start out at their first-call entries and receive the
 *  function addresses as the functions are first called. The record itself is constant
 *  (read-only data); only the module it points to and the slots are written. */
struct RTLAZYLIB
{
    /** The library's name (upper case, with ".DLL"), then the functions' names in slot order,
     *  each terminated: one block of text, so that no name needs a pointer of its own. */
    const char         *pszName;
    RTLDRMOD           *phMod;        /**< the library's module: null until the first call into it */
    void              **papvSlots;    /**< the import slots, in slot order */
    uint32_t            cSlots;
};

/** The name of the function in slot @p iSlot of @p pLib. */
inline const char *rtLazyFunctionName(const RTLAZYLIB *pLib, uint32_t iSlot)
{
    const char *psz = pLib->pszName;
    for (uint32_t i = 0; i <= iSlot; i++)
        psz += __builtin_strlen(psz) + 1;
    return psz;
}

RT_C_DECLS_BEGIN
/** The first-call resolver, entered from a slot's entry with the slot index and the library
 *  record pushed above the caller's return address; continues into the function. */
void rtLazyResolveEntry(void);
/** Loads the library when needed and resolves slot @p iSlot; returns the function's address.
 *  A library or function that cannot be found ends the process. */
void *rtLazyResolve(const RTLAZYLIB *pLib, uint32_t iSlot);
RT_C_DECLS_END

/** The bytes of arguments a stdcall function takes (its decoration's number); a function of
 *  another convention does not match. */
template <class R, class... A>
constexpr unsigned rtLazyArgBytesStdcall(R (__attribute__((stdcall)) *)(A...))
{
    return ((((unsigned)sizeof(A) + 3u) & ~3u) + ... + 0u);
}

/** The same for a cdecl function. */
template <class R, class... A>
constexpr unsigned rtLazyArgBytesCdecl(R (__attribute__((cdecl)) *)(A...))
{
    return ((((unsigned)sizeof(A) + 3u) & ~3u) + ... + 0u);
}
