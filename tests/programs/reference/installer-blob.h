/* Reference programs: the first package of an installer, as an installer extracting from its
 * loaded image sees it. The installer file is loaded as data and its blob resource "BIN_00"
 * taken in place, in memory mapped from the file. */
#pragma once
#include <windows.h>

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
