/* Process start-up as the runtime's modules see it: the initialiser and terminator tables
 * a module adds its entries to, the executable path record, and the start-up's own
 * machinery: the table walkers, the at-exit registry, the exit path, the raw standard-error
 * writers that work before anything else is set up, and the pieces of the executable path
 * record's set-up. */
#pragma once
#include "rt/types.h"
#include "rt/status.h"

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

/** Maximum number of at-exit callbacks and the size of one lazily allocated block. */
inline constexpr uint32_t RTATEXIT_MAX_ENTRIES = 8192;
inline constexpr uint32_t RTATEXIT_BLOCK_ENTRIES = 256;

RT_C_DECLS_BEGIN

extern RTPROCEXECPATH g_ProcExecPath;

/** Number of registered at-exit callbacks. While rtAtExitRun is calling one, the number of
 *  the entry being called. */
extern volatile uint32_t g_cAtExitEntries;

/** Ends the process with @p uExitCode; with @p fRunExitRoutines the at-exit callbacks run
 *  first (newest first), then the pre-terminators and terminators. Never returns. */
RT_NORETURN void rtStartupExit(uint32_t uExitCode, bool fRunExitRoutines);
/* Check-failure codes of the platform's fast-fail list. */
inline constexpr uint32_t RTCHECKFAIL_STACK_COOKIE    = 2;
inline constexpr uint32_t RTCHECKFAIL_INCORRECT_STACK = 4;
inline constexpr uint32_t RTCHECKFAIL_RANGE_CHECK     = 8;
inline constexpr uint32_t RTCHECKFAIL_INVALID_CONTEXT = 13;
/** Ends the process after a failed stack check whose report is written: @p uCode is the
 *  platform's fast-fail code; the checked function's instruction, stack and frame pointers
 *  at its call of the check go to the platform's error reporting. Never returns. */
RT_NORETURN void rtCheckFailureExitAt(uint32_t uCode, uintptr_t uPC, uintptr_t uSP, uintptr_t uBP);
/** The structured-exception dispatcher's stack-bounds check, as its frame handler makes it
 *  while the platform's control-flow-guard check is active: returns when the stack pointer
 *  of the exception's register context @p pvCtx lies within the current thread's stack,
 *  else reports it and ends the process like the other stack checks. (This toolchain's
 *  frames have no such handler; the check is here for code that has one.) */
void rtCheckContextStack(const void *pvCtx);
/** Calls the value-returning initialisers until one fails, then the plain ones.
 *  @returns 0, or the first non-zero result. */
int  rtStartupRunInitialisers(void);
/** Calls the pre-terminators, then the terminators, each in table order. */
void rtStartupRunTerminators(void);

/** Registers a callback for process exit; safe from any thread.
 *  @returns 0, or -1 when the registry is full or a block cannot be allocated. */
int  rtAtExitRegister(PFNRT pfnCallback);
/** Runs and clears every registered callback, newest first, including callbacks that a
 *  running callback registers. Exiting thread only. */
void rtAtExitRun(void);

/* Unbuffered writes to the standard error handle; results are ignored. Numbers are 32-bit,
 * hexadecimal is lower case. */
void rtStartupWrite(const char *pch, size_t cch);
/** The text, @p rc in signed decimal, then "\r\n". */
void rtStartupWriteStatus(const char *pch, size_t cch, RTSTATUS rc);
/** "<decimal> (0x<hex>)". */
void rtStartupWriteDecHex(uint32_t u);
/** "0x<hex>", no padding. */
void rtStartupWriteHex(uint32_t u);
/** Exactly eight hexadecimal digits, no prefix. */
void rtStartupWriteHex8(uint32_t u);
/** The text, or "<pszString=XXXXXXXX>" for a pointer within 4 KiB of zero either side. */
void rtStartupWriteString(const char *psz);

/** Zeroes the bytes between the end of each section's raw data and the end of its virtual
 *  size, on the very old systems whose loader leaves them undefined. */
void rtStartupFixSectionTails(void *pvImageBase);
/** The work of rtStartupFixSectionTails without the version test. */
void rtStartupZeroSectionTails(void *pvImageBase);

/** Records the running executable's path in g_ProcExecPath; failures are reported on
 *  standard error and leave the record empty. */
void initProcExecPath(void);
/** The part of initProcExecPath after the module-name query: @p cwcResult and @p uLastError
 *  are what the query returned and left as the last error. */
void rtStartupSetExecPath(const wchar_t *pwszPath, uint32_t cwcResult, uint32_t uLastError);
/** Splits a path into its directory length and name offset, as the record keeps them. */
void rtStartupSplitExecPath(const char *pszPath, uint32_t cchPath, uint32_t *pcchDir, uint32_t *poffName);

RT_C_DECLS_END

/** rtStartupWrite of a string literal (its terminator is not written). */
template <size_t N>
inline void rtStartupWriteLiteral(const char (&szText)[N])
{
    rtStartupWrite(szText, N - 1);
}

/** rtStartupWriteStatus with a string literal. */
template <size_t N>
inline void rtStartupWriteLiteralStatus(const char (&szText)[N], RTSTATUS rc)
{
    rtStartupWriteStatus(szText, N - 1, rc);
}
