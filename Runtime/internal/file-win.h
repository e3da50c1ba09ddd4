/* What the file, path-information and directory modules share on Windows: the native API
 * pieces the platform headers leave out, the NT status values they test, and the helpers
 * that fill a file information record from native data. */
#pragma once
#include <windows.h>
#include <winternl.h>
#include "rt/file.h"

/* NT status values tested by the file and directory modules. */
inline constexpr NTSTATUS RTNT_BUFFER_OVERFLOW        = static_cast<NTSTATUS>(0x80000005);
inline constexpr NTSTATUS RTNT_NO_MORE_FILES          = static_cast<NTSTATUS>(0x80000006);
inline constexpr NTSTATUS RTNT_NO_MORE_ENTRIES        = static_cast<NTSTATUS>(0x8000001A);
inline constexpr NTSTATUS RTNT_NOT_IMPLEMENTED        = static_cast<NTSTATUS>(0xC0000002);
inline constexpr NTSTATUS RTNT_INVALID_INFO_CLASS     = static_cast<NTSTATUS>(0xC0000003);
inline constexpr NTSTATUS RTNT_INVALID_PARAMETER      = static_cast<NTSTATUS>(0xC000000D);
inline constexpr NTSTATUS RTNT_NO_SUCH_FILE           = static_cast<NTSTATUS>(0xC000000F);
inline constexpr NTSTATUS RTNT_ACCESS_DENIED          = static_cast<NTSTATUS>(0xC0000022);
inline constexpr NTSTATUS RTNT_OBJECT_TYPE_MISMATCH   = static_cast<NTSTATUS>(0xC0000024);
inline constexpr NTSTATUS RTNT_OBJECT_NAME_INVALID    = static_cast<NTSTATUS>(0xC0000033);
inline constexpr NTSTATUS RTNT_SHARING_VIOLATION      = static_cast<NTSTATUS>(0xC0000043);
inline constexpr NTSTATUS RTNT_BAD_DEVICE_TYPE        = static_cast<NTSTATUS>(0xC00000CB);
inline constexpr NTSTATUS RTNT_INVALID_PARAMETER_9    = static_cast<NTSTATUS>(0xC00000F7);

/* Create options and access rights used with NtCreateFile. */
inline constexpr ULONG RTNT_OPT_DIRECTORY          = 0x00000001;
inline constexpr ULONG RTNT_OPT_SYNCHRONOUS_IO     = 0x00000020;
inline constexpr ULONG RTNT_OPT_NON_DIRECTORY      = 0x00000040;
inline constexpr ULONG RTNT_OPT_BACKUP_INTENT      = 0x00004000;
inline constexpr ULONG RTNT_OPT_OPEN_REPARSE_POINT = 0x00200000;
inline constexpr ULONG RTNT_DISP_OPEN              = 1;
inline constexpr ULONG RTNT_SHARE_ALL              = 7;

/* Native file information classes by number (the platform headers' enumerations differ
 * between versions). */
inline constexpr ULONG RTNT_FILE_BOTH_DIR_INFO    = 3;
inline constexpr ULONG RTNT_FILE_BASIC_INFO       = 4;
inline constexpr ULONG RTNT_FILE_DISPOSITION_INFO = 13;
inline constexpr ULONG RTNT_FILE_ALL_INFO         = 18;
inline constexpr ULONG RTNT_FILE_ATTR_TAG_INFO    = 35;
inline constexpr ULONG RTNT_FILE_ID_BOTH_DIR_INFO = 37;
inline constexpr ULONG RTNT_FS_VOLUME_INFO        = 1;
inline constexpr ULONG RTNT_FS_ATTRIBUTE_INFO     = 5;

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
