/* What the file, path-information and directory modules share on Windows: the native API
 * pieces the platform headers leave out and the helpers that fill a file information record
 * from native data. Include it before anything else that includes <windows.h>: the NT status
 * values come from <ntstatus.h>, which needs the base header without its own few. */
#pragma once
#define WIN32_NO_STATUS
#include <windows.h>
#undef WIN32_NO_STATUS
#include <winternl.h>
#include <ntstatus.h>
#include "rt/file.h"

static_assert(RTFREPARSE_TAG_SYMLINK == IO_REPARSE_TAG_SYMLINK, "the portable name of the symbolic-link tag");

/** Entry of an NT object directory listing. */
struct RTNTOBJDIRINFO
{
    UNICODE_STRING Name;
    UNICODE_STRING TypeName;
};

extern "C" {
NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE hFile, HANDLE hEvent, PIO_APC_ROUTINE pfnApc, PVOID pvApcCtx,
                                    PIO_STATUS_BLOCK pIos, PVOID pvBuf, ULONG cbBuf,
                                    FILE_INFORMATION_CLASS enmClass, BOOLEAN fSingleEntry,
                                    PUNICODE_STRING pMask, BOOLEAN fRestartScan);
NTSTATUS NTAPI NtOpenDirectoryObject(PHANDLE phDir, ACCESS_MASK fAccess, POBJECT_ATTRIBUTES pObjAttr);
NTSTATUS NTAPI NtQueryDirectoryObject(HANDLE hDir, PVOID pvBuf, ULONG cbBuf, BOOLEAN fSingleEntry,
                                      BOOLEAN fRestartScan, PULONG puContext, PULONG pcbReturned);
}

/** Native time (100 ns units since 1601) to nanoseconds since 1970. The arithmetic wraps
 *  like the unsigned 64-bit product it is: times before 1677 have no signed nanosecond
 *  value and come out as their 64-bit remainder. */
inline int64_t rtFileNtTimeToNs(int64_t iNtTime)
{
    return static_cast<int64_t>(static_cast<uint64_t>(iNtTime) * 100u - UINT64_C(11644473600000000000));
}

/** Sets the attribute kind and fills its defaults: for RTFATTR_UNIX ids -1 and one hard
 *  link (the caller fills in what it knows), for owner and group id -1 and an empty name,
 *  for the EA kind size 0. */
void rtFileStatsSetAttrKind(RTFILESTATS *pStats, uint32_t enmAttr);

/** Fills sizes, times, mode and attribute kind of a record. @a paTimes are the four native
 *  times in the order every native information class keeps them: creation, last access,
 *  last write, change. @a fAttrs are the native attributes, not shifted. */
void rtFileStatsFill(RTFILESTATS *pStats, const LARGE_INTEGER *paTimes, int64_t cbObject, int64_t cbAllocated,
                     uint32_t fAttrs, const char *pszName, uint32_t uReparseTag, uint32_t enmAttr);

/** Fills the record from the all-information class of an open handle (class 18), with the
 *  given reparse tag for the mode and, for RTFATTR_UNIX, the volume serial. */
RTSTATUS rtFileStatsFromHandle(HANDLE hFile, RTFILESTATS *pStats, uint32_t enmAttr, uint32_t uReparseTag);

/** The serial number of the volume the handle lives on, or 0. */
uint32_t rtFileVolumeSerial(HANDLE hFile);

/** Validates an open-flag word and returns its meaningful low half with the defaults
 *  (action, share code) filled in. */
RTSTATUS rtFileValidateOpenFlags(uint64_t fOpenIn, uint32_t *pfOpen);

/** Size of the listing buffer the parent-directory and object-directory queries use. */
inline constexpr ULONG RTPATHQ_LIST_BUF_SIZE = 8312;

/** The record of an NT name from its parent directory's listing, for files that cannot be
 *  opened even for their attributes. @a pbBuf holds RTPATHQ_LIST_BUF_SIZE bytes. */
RTSTATUS rtPathQueryByDirListing(HANDLE hRootDir, const UNICODE_STRING *pName, RTFILESTATS *pStats, uint32_t enmAttr,
                                 uint8_t *pbBuf);
