/* Process start-up for programs without a C runtime, as modules see it: the initialiser
 * and terminator tables a module adds its entries to, and the executable path record. */
#pragma once
#include "rt/types.h"

/** A callback without arguments or result: plain initialisers, terminators, at-exit. */
typedef void (*PFNRT)(void);
/** A value-returning initialiser: non-zero means failure and stops the start-up. */
typedef int (*PFNRTSTARTUPINITRC)(void);

/*
 * Initialiser and terminator tables.
 *
 * The linker sorts the sections named ".CRT$X.." by their suffix, so pointers placed in
 * ".CRT$XIU" come out between the product's markers in ".CRT$XIA" and ".CRT$XIZ", and so
 * on for the other tables. A module adds an entry with a declaration of this form (a null
 * entry, or the zero padding the linker may insert, is skipped):
 *
 *   [[gnu::used, gnu::section(".CRT$XIU")]] static constexpr PFNRTSTARTUPINITRC s_pfnInit = fn;
 *   [[gnu::used, gnu::section(".CRT$XCU")]] static constexpr PFNRT s_pfnInit = fn;
 *   [[gnu::used, gnu::section(".CRT$XPU")]] static constexpr PFNRT s_pfnPreTerm = fn;
 *   [[gnu::used, gnu::section(".CRT$XTU")]] static constexpr PFNRT s_pfnTerm = fn;
 *
 * respectively a value-returning initialiser, a plain initialiser, a pre-terminator and a
 * terminator. Only the product's start-up defines the markers and walks the tables. Test
 * programs, which run on the platform's C runtime, get their initialisers called by that
 * runtime instead: it walks ".CRT$XI*" and ".CRT$XC*" between markers of its own and
 * skips null entries, so an entry behaves the same in both kinds of program. Terminators
 * only run in the product. (A class template cannot wrap the declaration: template
 * statics land in COMDAT sections and lose the section attribute.)
 */

/** Size of the executable path buffer, in bytes, terminator included. */
inline constexpr uint32_t RTPROCEXECPATH_MAX = 4100;

/** Where the running executable lives; filled by start-up, rewritten by runtime
 *  initialisation, read by the message writer and the path functions. All zero when the
 *  path could not be determined. */
struct RTPROCEXECPATH
{
    /** The full path, UTF-8, zero-terminated. */
    char     szPath[RTPROCEXECPATH_MAX];
    /** Length of szPath in bytes. */
    uint32_t cchPath;
    /** Length of the directory part without trailing separators; the separator right
     *  after a drive colon stays ("C:\" for a file in a root directory). */
    uint32_t cchDir;
    /** Offset of the file name inside szPath. */
    uint32_t offName;
};

RT_C_DECLS_BEGIN

extern RTPROCEXECPATH g_ProcExecPath;

RT_C_DECLS_END
