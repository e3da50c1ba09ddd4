/* What the reference programs share: ending the process, reading a path from the
 * environment, and the first package of an installer as an installer extracting from its
 * loaded image sees it (the installer file loaded as data, its blob resource "BIN_00" taken
 * in place, in memory mapped from the file) and writes it out. */
#pragma once
#include <windows.h>

/** Ends the process with @p uCode: there is no runtime to return to. */
[[noreturn]] inline void exitWith(UINT uCode)
{
    for (;;)
        TerminateProcess(GetCurrentProcess(), uCode);
}

/** The environment variable @p pwszName into a MAX_PATH buffer; false when unset or too long. */
inline bool readEnv(LPCWSTR pwszName, WCHAR *pwszValue)
{
    DWORD const cwc = GetEnvironmentVariableW(pwszName, pwszValue, MAX_PATH);
    return cwc && cwc < MAX_PATH;
}

/** The blob's bytes and size in @p pcbBlob, or null when the installer or its blob is missing. */
inline const BYTE *LoadInstallerBlob(LPCWSTR pwszInstaller, DWORD *pcbBlob)
{
    constexpr WORD RAW_DATA_TYPE = 10;   /* RT_RCDATA */
    HMODULE const hMod = LoadLibraryExW(pwszInstaller, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC const hRsrc = hMod ? FindResourceExW(hMod, MAKEINTRESOURCEW(RAW_DATA_TYPE), L"BIN_00", 0) : nullptr;
    *pcbBlob = hRsrc ? SizeofResource(hMod, hRsrc) : 0;
    HGLOBAL const hGlobal = hRsrc ? LoadResource(hMod, hRsrc) : nullptr;
    return hGlobal ? static_cast<const BYTE *>(LockResource(hGlobal)) : nullptr;
}

/** Writes @p cbBlob bytes at @p pbBlob to a new file @p pwszPath in one WriteFile call. */
inline bool WriteBlobFile(LPCWSTR pwszPath, const BYTE *pbBlob, DWORD cbBlob)
{
    HANDLE const hFile = CreateFileW(pwszPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    DWORD cbDone = 0;
    bool const fWritten = WriteFile(hFile, pbBlob, cbBlob, &cbDone, nullptr) && cbDone == cbBlob;
    CloseHandle(hFile);
    return fWritten;
}
