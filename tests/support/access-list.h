/* Test support: the check of the private access list that the installer gives the
 * directories it creates, and the security identifiers it names. */
#pragma once
#include <windows.h>
#include <string>
#include <vector>

/** The identifier of the user this process runs as; empty when the token cannot tell. */
inline std::vector<BYTE> CurrentUserSid()
{
    HANDLE hToken = nullptr;
    std::vector<BYTE> abUser(256), abSid;
    DWORD cb = 0;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &hToken))
    {
        if (GetTokenInformation(hToken, TokenUser, abUser.data(), static_cast<DWORD>(abUser.size()), &cb))
        {
            PSID const pSid = reinterpret_cast<TOKEN_USER *>(abUser.data())->User.Sid;
            abSid.assign(static_cast<BYTE *>(pSid), static_cast<BYTE *>(pSid) + GetLengthSid(pSid));
        }
        CloseHandle(hToken);
    }
    return abSid;
}

/** A well-known identifier of this machine (the local system, the Administrators group). */
inline std::vector<BYTE> WellKnownSid(WELL_KNOWN_SID_TYPE enmType)
{
    std::vector<BYTE> abSid(SECURITY_MAX_SID_SIZE);
    DWORD cb = static_cast<DWORD>(abSid.size());
    if (!CreateWellKnownSid(enmType, nullptr, abSid.data(), &cb))
        return {};
    abSid.resize(cb);
    return abSid;
}

/** What is wrong with @p pSecDesc as the access of a private directory, or "" when nothing
 *  is: its list must be protected (nothing inherited from the parent) and grant everything,
 *  to files and subdirectories too, to the user, the local system and the Administrators
 *  group, in this order, and to no one else. */
inline std::string PrivateAccessListFault(PSECURITY_DESCRIPTOR pSecDesc)
{
    SECURITY_DESCRIPTOR_CONTROL fControl = 0;
    DWORD uRevision = 0;
    BOOL fPresent = FALSE, fDefaulted = FALSE;
    PACL pAcl = nullptr;
    if (!GetSecurityDescriptorControl(pSecDesc, &fControl, &uRevision)
        || !GetSecurityDescriptorDacl(pSecDesc, &fPresent, &pAcl, &fDefaulted))
        return "unreadable descriptor";
    if (!(fControl & SE_DACL_PROTECTED))
        return "the list inherits from the parent";
    if (!fPresent || !pAcl)
        return "no list: open to everyone";
    std::vector<std::vector<BYTE>> const aExpected = { CurrentUserSid(), WellKnownSid(WinLocalSystemSid),
                                                       WellKnownSid(WinBuiltinAdministratorsSid) };
    if (pAcl->AceCount != aExpected.size())
        return std::to_string(pAcl->AceCount) + " entries";
    for (WORD i = 0; i < pAcl->AceCount; i++)
    {
        ACCESS_ALLOWED_ACE *pAce = nullptr;
        if (!GetAce(pAcl, i, reinterpret_cast<void **>(&pAce)) || pAce->Header.AceType != ACCESS_ALLOWED_ACE_TYPE
            || pAce->Header.AceFlags != (OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE) || pAce->Mask != FILE_ALL_ACCESS
            || !EqualSid(&pAce->SidStart, const_cast<BYTE *>(aExpected[i].data())))
            return "entry " + std::to_string(i) + " is not the expected one";
    }
    return "";
}
