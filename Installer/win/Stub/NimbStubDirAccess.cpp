/* A protected access list for the directories the installer creates, built and set
 * through ntdll so that no further system library is needed. */
#include "NimbStubDirAccess.h"
#include "rt/err.h"
#include "rt/string.h"
#include <windows.h>
#include <winternl.h>

extern "C" {
NTSYSAPI NTSTATUS NTAPI NtOpenProcessToken(HANDLE hProcess, ACCESS_MASK fAccess, PHANDLE phToken);
NTSYSAPI NTSTATUS NTAPI NtQueryInformationToken(HANDLE hToken, TOKEN_INFORMATION_CLASS enmClass,
                                                PVOID pvInfo, ULONG cbInfo, PULONG pcbReturned);
NTSYSAPI NTSTATUS NTAPI NtSetSecurityObject(HANDLE hObject, SECURITY_INFORMATION fInfo, PSECURITY_DESCRIPTOR pSD);
NTSYSAPI NTSTATUS NTAPI RtlCreateAcl(PACL pAcl, ULONG cbAcl, ULONG uRevision);
NTSYSAPI NTSTATUS NTAPI RtlAddAccessAllowedAceEx(PACL pAcl, ULONG uRevision, ULONG fAceFlags, ACCESS_MASK fAccess, PSID pSid);
NTSYSAPI NTSTATUS NTAPI RtlCreateSecurityDescriptor(PSECURITY_DESCRIPTOR pSD, ULONG uRevision);
NTSYSAPI NTSTATUS NTAPI RtlSetDaclSecurityDescriptor(PSECURITY_DESCRIPTOR pSD, BOOLEAN fPresent, PACL pAcl, BOOLEAN fDefaulted);
NTSYSAPI NTSTATUS NTAPI RtlSetControlSecurityDescriptor(PSECURITY_DESCRIPTOR pSD, SECURITY_DESCRIPTOR_CONTROL fMask,
                                                        SECURITY_DESCRIPTOR_CONTROL fBits);
NTSYSAPI ULONG    NTAPI RtlLengthSid(PSID pSid);
}

namespace {

/** A SID with one or two sub-authorities, laid out as the platform's SID record. */
struct WellKnownSid
{
    BYTE                     bRevision;
    BYTE                     cSubAuthorities;
    SID_IDENTIFIER_AUTHORITY Authority;
    DWORD                    aSubAuthorities[2];
};

/** S-1-5-18, the local system, which runs the Windows Installer service. */
constexpr WellKnownSid g_SidLocalSystem = { SID_REVISION, 1, SECURITY_NT_AUTHORITY, { SECURITY_LOCAL_SYSTEM_RID, 0 } };
/** S-1-5-32-544, the Administrators group. */
constexpr WellKnownSid g_SidAdministrators = { SID_REVISION, 2, SECURITY_NT_AUTHORITY,
                                               { SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS } };
static_assert(SECURITY_LOCAL_SYSTEM_RID == 18 && SECURITY_BUILTIN_DOMAIN_RID == 32 && DOMAIN_ALIAS_RID_ADMINS == 544,
              "well-known identities");

/** Every entry grants everything and passes itself on to files and subdirectories. */
constexpr ULONG ACE_INHERIT_FLAGS = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;

/** Room for the token's user record and for the list of three entries. */
constexpr size_t TOKEN_USER_BUFFER = 256;
constexpr size_t ACL_BUFFER        = 512;

} /* namespace */

RTSTATUS RestrictDirectoryAccess(const char *pszDir)
{
    /* The user the process runs as. */
    HANDLE hToken = nullptr;
    NTSTATUS rcNt = NtOpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken);
    if (!NT_SUCCESS(rcNt))
        return RTErrConvertFromNtStatus(rcNt);
    /* Aligned as the records they receive, and no more: a stricter alignment than the
       stack's costs a realigned frame. */
    alignas(TOKEN_USER) uint8_t abTokenUser[TOKEN_USER_BUFFER];
    ULONG cbReturned = 0;
    rcNt = NtQueryInformationToken(hToken, TokenUser, abTokenUser, sizeof(abTokenUser), &cbReturned);
    CloseHandle(hToken);
    if (!NT_SUCCESS(rcNt))
        return RTErrConvertFromNtStatus(rcNt);
    PSID const pSidUser = reinterpret_cast<TOKEN_USER *>(abTokenUser)->User.Sid;

    alignas(DWORD) uint8_t abAcl[ACL_BUFFER];     /* the entries hold 32-bit fields */
    PACL const pAcl = reinterpret_cast<PACL>(abAcl);
    PSID const apSids[] = { pSidUser, const_cast<WellKnownSid *>(&g_SidLocalSystem),
                            const_cast<WellKnownSid *>(&g_SidAdministrators) };
    rcNt = RtlCreateAcl(pAcl, sizeof(abAcl), ACL_REVISION);
    for (PSID pSid : apSids)
        if (NT_SUCCESS(rcNt))
            rcNt = RtlAddAccessAllowedAceEx(pAcl, ACL_REVISION, ACE_INHERIT_FLAGS, FILE_ALL_ACCESS, pSid);

    /* Protected: nothing of the parent's list is inherited. */
    SECURITY_DESCRIPTOR SecDesc;
    if (NT_SUCCESS(rcNt))
        rcNt = RtlCreateSecurityDescriptor(&SecDesc, SECURITY_DESCRIPTOR_REVISION);
    if (NT_SUCCESS(rcNt))
        rcNt = RtlSetDaclSecurityDescriptor(&SecDesc, TRUE, pAcl, FALSE);
    if (NT_SUCCESS(rcNt))
        rcNt = RtlSetControlSecurityDescriptor(&SecDesc, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
    if (!NT_SUCCESS(rcNt))
        return RTErrConvertFromNtStatus(rcNt);

    RTUTF16 *pwszDir = nullptr;
    RTSTATUS rc = RTStrToUtf16(pszDir, &pwszDir);
    if (RT_FAILURE(rc))
        return rc;
    /* The directory itself, never what a link in its place would lead to. */
    HANDLE const hDir = CreateFileW(reinterpret_cast<LPCWSTR>(pwszDir), WRITE_DAC | READ_CONTROL,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    RTUtf16Release(pwszDir);
    if (hDir == INVALID_HANDLE_VALUE)
        return RTErrConvertFromWinError(GetLastError());
    rcNt = NtSetSecurityObject(hDir, DACL_SECURITY_INFORMATION, &SecDesc);
    CloseHandle(hDir);
    return NT_SUCCESS(rcNt) ? INF_SUCCESS : RTErrConvertFromNtStatus(rcNt);
}
