/* Native path forms on Windows: UTF-8 paths turned into NT object names for the native
 * calls and into UTF-16 paths for the Win32 file functions, with the long-path form and
 * the special prefixes "\\?\", "\\.\" and "\\:zuntnt:\"; opening by path through
 * NtCreateFile. Only the Windows layer includes this header. */
#pragma once
#include "rt/types.h"
#include "rt/status.h"
#include "rt/string.h"
#include <windows.h>
#include <winternl.h>

/* The most UTF-16 units an NT name may have, terminator excluded. */
inline constexpr size_t RTPATH_NT_MAX_UNITS = 32766;

RT_C_DECLS_BEGIN

/** Converts a path to an absolute NT object name. The name owns its buffer; release it
 *  with RTPathNtNameFree. The root handle is always set to none. */
RTSTATUS RTPathToNtName(UNICODE_STRING *pNtName, HANDLE *phRootDir, const char *pszPath);
void     RTPathNtNameFree(UNICODE_STRING *pNtName, HANDLE *phRootDir);

/** Converts a path to a UTF-16 path for the Win32 file functions: the path as given while
 *  it is short enough, else the "\\?\" long form. *ppwszPath is null until success;
 *  release the result with RTPathWin32WideFree. */
RTSTATUS RTPathToWin32Wide(RTUTF16 **ppwszPath, const char *pszPath);
void     RTPathWin32WideFree(RTUTF16 *pwszPath);

/** Opens a file, directory or device through NtCreateFile (open-existing, case-insensitive).
 *  *phHandle is INVALID_HANDLE_VALUE until success. When @a pfObjDir is given and the
 *  path is a literal NT name ("\\:zuntnt:\"), an object directory is opened instead when
 *  the name is one, and *pfObjDir says so. */
RTSTATUS RTNtOpenByPath(const char *pszPath, ACCESS_MASK fDesiredAccess, ULONG fShareAccess,
                        ULONG fCreateOptions, ULONG fObjAttribs, HANDLE *phHandle, bool *pfObjDir);
RTSTATUS RTNtOpenByName(HANDLE hRootDir, const UNICODE_STRING *pNtName, ACCESS_MASK fDesiredAccess,
                        ULONG fShareAccess, ULONG fCreateOptions, ULONG fObjAttribs,
                        HANDLE *phHandle, bool *pfObjDir);
RTSTATUS RTNtCloseHandle(HANDLE hHandle);

RT_C_DECLS_END
