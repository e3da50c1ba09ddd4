/* Basic types shared by every runtime module: sized integers, the status type, the
 * pointer test and the object-magic helpers. Portable: no platform headers. */
#pragma once

#include <stdint.h>
#include <stddef.h>
#include <stdarg.h>

/** A status code: 0 is success, negative values are errors, positive values success
 *  with a remark. The names live in rt/status-codes.h (generated from status-list.txt). */
typedef int32_t RTSTATUS;

inline constexpr bool RT_SUCCESS(RTSTATUS rc) { return rc >= 0; }
inline constexpr bool RT_FAILURE(RTSTATUS rc) { return rc < 0; }

/** Pointers within 4 KiB either side of address zero are never dereferenced: they are
 *  the usual shape of a null pointer plus a small field offset, or of a negated one. */
inline bool RT_VALID_PTR(const volatile void *pv)
{
    intptr_t const i = reinterpret_cast<intptr_t>(pv);
    return i < -4096 || i > 4095;
}

/** Size of a fixed array, for tables. */
template <typename T, size_t N>
constexpr size_t RT_ELEMENTS(T (&)[N]) { return N; }

#if defined(__GNUC__)
# define RT_NOINLINE   __attribute__((noinline))
# define RT_NORETURN   __attribute__((noreturn))
#else
# define RT_NOINLINE
# define RT_NORETURN
#endif

/* The C runtime's and our own exported functions use the C calling convention and names. */
#define RT_C_DECLS_BEGIN extern "C" {
#define RT_C_DECLS_END   }
