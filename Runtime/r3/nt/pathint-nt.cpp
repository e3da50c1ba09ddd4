/* UTF-8 paths as NT object names, and opening files, directories and object directories
 * by path or name through the native API. */
#include "internal/file-win.h"
#include "internal/path.h"
#include "internal/pathint-win.h"
#include "rt/path.h"
#include "rt/err.h"
#include "rt/mem.h"
#include "rt/string.h"
#include <string.h>

extern "C" NTSTATUS NTAPI NtOpenDirectoryObject(PHANDLE phDir, ACCESS_MASK fAccess, POBJECT_ATTRIBUTES pObjAttr);

namespace {

/** Offset of the operating system's major version in the process environment block. */
constexpr size_t RTNT_PEB_OS_MAJOR_OFFSET = sizeof(void *) == 4 ? 0xA4 : 0x118;


/** Length of the literal NT name prefix ("\\:zuntnt:" before the separator that starts the
 *  name) at the start of @a psz, or 0. */
size_t rtNtLiteralPrefixLength(const char *psz)
{
    static constexpr char s_szTag[] = ":zuntnt:";
    if (!rtPathIsAnySep(psz[0]) || !rtPathIsAnySep(psz[1]))
        return 0;
    size_t off = 2;
    for (const char *pszTag = s_szTag; *pszTag; pszTag++, off++)
        if (psz[off] != *pszTag)
            return 0;
    return rtPathIsAnySep(psz[off]) ? off : 0;
}

/** NT 4.0 and later know "\??\"; older systems only "\DosDevices\". */
bool rtNtHasQuestionPrefix()
{
    const uint8_t *pbPeb; /* from the thread information block */
#if defined(__x86_64__)
    __asm__("movq %%gs:0x60, %0" : "=r"(pbPeb));
#else
    __asm__("movl %%fs:0x30, %0" : "=r"(pbPeb));
#endif
    return *reinterpret_cast<const ULONG *>(pbPeb + RTNT_PEB_OS_MAJOR_OFFSET) >= 4;
}

/** Makes the NT name prefix followed by the UTF-8 text @a pszRest. */
RTSTATUS rtNtNameFromParts(UNICODE_STRING *pNtName, const char *pszPrefix, const char *pszRest)
{
    size_t const cchPrefix = strlen(pszPrefix);
    size_t cwcRest;
    RTSTATUS rc = RTStrUtf16Units(pszRest, RTSTR_MAX, &cwcRest);
    if (RT_FAILURE(rc))
        return rc;
    if (cwcRest > RTPATH_NT_MAX_UNITS - cchPrefix)
        return ERR_FILENAME_TOO_LONG;
    size_t const cwc = cchPrefix + cwcRest;
    RTUTF16 *pwsz = RTUtf16New((cwc + 1) * sizeof(RTUTF16));
    if (!pwsz)
        return ERR_UTF16_ALLOC_FAILED;
    for (size_t i = 0; i < cchPrefix; i++)
        pwsz[i] = static_cast<RTUTF16>(pszPrefix[i]);
    RTUTF16 *pwszRest = pwsz + cchPrefix;
    rc = RTStrToUtf16Ex(pszRest, RTSTR_MAX, &pwszRest, cwcRest + 1, nullptr);
    if (RT_FAILURE(rc))
    {
        RTUtf16Release(pwsz);
        return rc;
    }
    pNtName->Buffer        = pwsz;
    pNtName->Length        = static_cast<USHORT>(cwc * sizeof(RTUTF16));
    pNtName->MaximumLength = static_cast<USHORT>(pNtName->Length + sizeof(RTUTF16));
    return INF_SUCCESS;
}

/** Makes @a pszPath absolute and puts the prefix in place of its first @a cchOverwrite
 *  characters. */
RTSTATUS rtNtNameAbsolute(UNICODE_STRING *pNtName, const char *pszPath, const char *pszPrefix, size_t cchOverwrite)
{
    /* The absolute path goes where it would follow the prefix in one buffer, so that the
     * size estimates of RTPathAbsEx apply to the whole name. */
    size_t const offAbs = strlen(pszPrefix) - cchOverwrite;
    char   szStack[4100];
    char  *pszBuf = szStack;
    size_t cbBuf  = sizeof(szStack);
    RTSTATUS rc;
    for (unsigned iTry = 1;; iTry++)
    {
        size_t cb = cbBuf - offAbs;
        rc = RTPathAbsEx(nullptr, pszPath, RTPSTYLE_DOS, pszBuf + offAbs, &cb);
        if (rc != ERR_BUFFER_TOO_SMALL)
            break;
        if (iTry == 8)
        {
            rc = ERR_FILENAME_TOO_LONG;
            break;
        }
        /* cb is what the path needs; offAbs the room for the prefix in front of it. */
        size_t cbNew = (cb + offAbs + 95) & ~static_cast<size_t>(63);
        if (cbNew < cbBuf + 256)
            cbNew = cbBuf + 256;
        if (iTry == 7 && cbNew < 131072)
            cbNew = 131072;
        if (pszBuf != szStack)
            RTMemFree(pszBuf);
        pszBuf = static_cast<char *>(RTMemAlloc(cbNew));
        if (!pszBuf)
            return ERR_SCRATCH_ALLOC_FAILED;
        cbBuf = cbNew;
    }
    if (RT_SUCCESS(rc))
        rc = rtNtNameFromParts(pNtName, pszPrefix, pszBuf + offAbs + cchOverwrite);
    if (pszBuf != szStack)
        RTMemFree(pszBuf);
    return rc;
}

/** NtOpenDirectoryObject access for the file access a caller asked for. */
ACCESS_MASK rtNtObjDirAccess(ACCESS_MASK fDesiredAccess)
{
    /* The object directory's own rights (the driver kit's names); the platform headers
     * this layer includes lack them. */
    constexpr ACCESS_MASK DIRECTORY_QUERY_RIGHT    = 0x1;
    constexpr ACCESS_MASK DIRECTORY_TRAVERSE_RIGHT = 0x2;
    constexpr ACCESS_MASK DIRECTORY_CREATE_RIGHTS  = 0x4 | 0x8;   /* object, subdirectory */
    constexpr ACCESS_MASK DIRECTORY_ALL_RIGHTS     = STANDARD_RIGHTS_REQUIRED | 0xF;
    static_assert(DIRECTORY_ALL_RIGHTS == 0x000F000F);

    if ((fDesiredAccess & STANDARD_RIGHTS_ALL) == STANDARD_RIGHTS_ALL || (fDesiredAccess & GENERIC_ALL))
        return DIRECTORY_ALL_RIGHTS;
    bool const fWrite = (fDesiredAccess & (GENERIC_WRITE | READ_CONTROL | FILE_ADD_FILE)) != 0;
    bool const fRead  = (fDesiredAccess & (GENERIC_READ | READ_CONTROL | FILE_LIST_DIRECTORY)) != 0;
    static_assert((GENERIC_WRITE | READ_CONTROL | FILE_ADD_FILE) == 0x40020002
                  && (GENERIC_READ | READ_CONTROL | FILE_LIST_DIRECTORY) == 0x80020001);
    ACCESS_MASK fAccess = fWrite && fRead ? DIRECTORY_QUERY_RIGHT | DIRECTORY_CREATE_RIGHTS
                        : fWrite          ? DIRECTORY_CREATE_RIGHTS
                        :                   DIRECTORY_QUERY_RIGHT;
    if (fDesiredAccess & FILE_TRAVERSE)
        fAccess |= DIRECTORY_TRAVERSE_RIGHT;
    return fAccess;
}

NTSTATUS rtNtCreateFile(HANDLE hRootDir, UNICODE_STRING *pName, ACCESS_MASK fDesiredAccess, ULONG fShareAccess,
                        ULONG fCreateOptions, ULONG fObjAttribs, HANDLE *phHandle)
{
    OBJECT_ATTRIBUTES ObjAttr = { sizeof(ObjAttr), hRootDir, pName, fObjAttribs | OBJ_CASE_INSENSITIVE, nullptr, nullptr };
    IO_STATUS_BLOCK   Ios = {};
    return NtCreateFile(phHandle, fDesiredAccess, &ObjAttr, &Ios, nullptr, FILE_ATTRIBUTE_NORMAL, fShareAccess,
                        FILE_OPEN, fCreateOptions, nullptr, 0);
}

} /* namespace */

RTSTATUS RTPathToNtName(UNICODE_STRING *pNtName, HANDLE *phRootDir, const char *pszPath)
{
    if (!RT_VALID_PTR(pNtName) || !RT_VALID_PTR(phRootDir) || !RT_VALID_PTR(pszPath))
        return ERR_BAD_POINTER;
    pNtName->Buffer = nullptr;
    pNtName->Length = pNtName->MaximumLength = 0;
    *phRootDir = nullptr;

    bool const fQuestion = rtNtHasQuestionPrefix();
    const char *pszPrefix = fQuestion ? "\\??\\" : "\\DosDevices\\";
    if (rtPathIsAnySep(pszPath[0]) && rtPathIsAnySep(pszPath[1]) && pszPath[2] && !rtPathIsAnySep(pszPath[2]))
    {
        size_t const cchLiteral = rtNtLiteralPrefixLength(pszPath);
        if (cchLiteral)
            return rtNtNameFromParts(pNtName, "", pszPath + cchLiteral);
        if (pszPath[2] == '?' && rtPathIsAnySep(pszPath[3]))
            return rtNtNameFromParts(pNtName, pszPrefix, pszPath + 4);
        if (pszPath[2] == '.' && rtPathIsAnySep(pszPath[3]))
            return rtNtNameAbsolute(pNtName, pszPath, pszPrefix, 4);
        return rtNtNameAbsolute(pNtName, pszPath, fQuestion ? "\\??\\UNC\\" : "\\DosDevices\\UNC\\", 2);
    }
    return rtNtNameAbsolute(pNtName, pszPath, pszPrefix, 0);
}

void RTPathNtNameFree(UNICODE_STRING *pNtName, HANDLE *phRootDir)
{
    if (RT_VALID_PTR(pNtName))
    {
        RTUtf16Release(pNtName->Buffer);
        pNtName->Buffer = nullptr;
        pNtName->Length = pNtName->MaximumLength = 0;
    }
    if (RT_VALID_PTR(phRootDir))
        *phRootDir = nullptr;
}

RTSTATUS RTNtOpenByName(HANDLE hRootDir, const UNICODE_STRING *pNtName, ACCESS_MASK fDesiredAccess, ULONG fShareAccess,
                        ULONG fCreateOptions, ULONG fObjAttribs, HANDLE *phHandle, bool *pfObjDir)
{
    if (!RT_VALID_PTR(phHandle))
        return ERR_BAD_POINTER;
    *phHandle = INVALID_HANDLE_VALUE;
    if (pfObjDir && !RT_VALID_PTR(pfObjDir))
        return ERR_BAD_POINTER;
    if (pfObjDir)
        *pfObjDir = false;
    if (!RT_VALID_PTR(pNtName) || (pNtName->Length && !RT_VALID_PTR(pNtName->Buffer)))
        return ERR_BAD_POINTER;

    UNICODE_STRING Name = *pNtName;
    HANDLE   hHandle = INVALID_HANDLE_VALUE;
    NTSTATUS rcNt = rtNtCreateFile(hRootDir, &Name, fDesiredAccess, fShareAccess, fCreateOptions, fObjAttribs, &hHandle);

    size_t const cwc = Name.Length / sizeof(RTUTF16);
    bool const fTrailingSep = cwc && Name.Buffer[cwc - 1] == L'\\';
    if (rcNt == STATUS_INVALID_PARAMETER && !fTrailingSep && Name.Length < 65532)
    {
        /* A bare volume ("\??\C:") opens as its root directory. */
        RTUTF16 *pwsz = static_cast<RTUTF16 *>(RTMemAlloc(Name.Length + 2 * sizeof(RTUTF16)));
        if (!pwsz)
            return ERR_SCRATCH_ALLOC_FAILED;
        memcpy(pwsz, Name.Buffer, Name.Length);
        pwsz[cwc] = L'\\';
        pwsz[cwc + 1] = L'\0';
        UNICODE_STRING Slashed = { static_cast<USHORT>(Name.Length + 2), static_cast<USHORT>(Name.Length + 4), pwsz };
        rcNt = rtNtCreateFile(hRootDir, &Slashed, fDesiredAccess, fShareAccess, fCreateOptions, fObjAttribs, &hHandle);
        RTMemFree(pwsz);
    }
    else if (   (rcNt == STATUS_OBJECT_NAME_INVALID || rcNt == STATUS_OBJECT_TYPE_MISMATCH)
             && pfObjDir)
    {
        if (fTrailingSep)
            Name.Length = static_cast<USHORT>(Name.Length - sizeof(RTUTF16));
        OBJECT_ATTRIBUTES ObjAttr = { sizeof(ObjAttr), hRootDir, &Name, fObjAttribs | OBJ_CASE_INSENSITIVE, nullptr, nullptr };
        HANDLE hDir = nullptr;
        if (NT_SUCCESS(NtOpenDirectoryObject(&hDir, rtNtObjDirAccess(fDesiredAccess), &ObjAttr)))
        {
            *pfObjDir = true;
            *phHandle = hDir;
            return INF_SUCCESS;
        }
    }
    if (!NT_SUCCESS(rcNt))
        return RTErrConvertFromNtStatus(rcNt);
    *phHandle = hHandle;
    return INF_SUCCESS;
}

RTSTATUS RTNtOpenByPath(const char *pszPath, ACCESS_MASK fDesiredAccess, ULONG fShareAccess, ULONG fCreateOptions,
                        ULONG fObjAttribs, HANDLE *phHandle, bool *pfObjDir)
{
    if (!RT_VALID_PTR(phHandle))
        return ERR_BAD_POINTER;
    *phHandle = INVALID_HANDLE_VALUE;
    if (pfObjDir && !RT_VALID_PTR(pfObjDir))
        return ERR_BAD_POINTER;
    if (pfObjDir)
        *pfObjDir = false;

    UNICODE_STRING NtName;
    HANDLE hRootDir;
    RTSTATUS rc = RTPathToNtName(&NtName, &hRootDir, pszPath);
    if (RT_FAILURE(rc))
        return rc;
    /* Only a literal NT name can be an object directory. */
    bool const fOfferObjDir = rtNtLiteralPrefixLength(pszPath) != 0;
    rc = RTNtOpenByName(hRootDir, &NtName, fDesiredAccess, fShareAccess, fCreateOptions, fObjAttribs, phHandle,
                        fOfferObjDir ? pfObjDir : nullptr);
    RTPathNtNameFree(&NtName, &hRootDir);
    return rc;
}

RTSTATUS RTNtCloseHandle(HANDLE hHandle)
{
    NTSTATUS const rcNt = NtClose(hHandle);
    return NT_SUCCESS(rcNt) ? INF_SUCCESS : RTErrConvertFromNtStatus(rcNt);
}
