/* Test support: per-test scratch directories and plain file helpers over Win32. */
#include "scratch-dir.h"
#include "process-runner.h"
#include "read-to-end.h"
#include <windows.h>
#include <atomic>

std::wstring LongForm(const std::string &path)
{
    std::wstring w = Widen(path);
    return w.rfind(L"\\\\?\\", 0) == 0 ? w : L"\\\\?\\" + w;
}

ScratchDir::ScratchDir()
{
    static std::atomic<unsigned> s_seq;
    wchar_t tmp[MAX_PATH + 1];
    DWORD n = GetTempPathW(MAX_PATH + 1, tmp);
    std::wstring base(tmp, n);
    if (!base.empty() && base.back() != L'\\')
        base += L'\\';
    for (;;)
    {
        std::wstring dir = base + L"nimbtest-" + std::to_wstring(GetCurrentProcessId()) + L"-"
                         + std::to_wstring(GetTickCount()) + L"-" + std::to_wstring(s_seq++);
        if (CreateDirectoryW(dir.c_str(), nullptr))
        {
            m_path = Narrow(dir);
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            abort();
    }
}

ScratchDir::~ScratchDir()
{
    RemoveTree(LongForm(m_path));
}

void RemoveTree(const std::wstring &path)
{
    DWORD attrs = GetFileAttributesW(path.c_str());
    if (attrs == INVALID_FILE_ATTRIBUTES)
        return;
    SetFileAttributesW(path.c_str(), attrs & ~FILE_ATTRIBUTE_READONLY);
    if ((attrs & FILE_ATTRIBUTE_DIRECTORY) && !(attrs & FILE_ATTRIBUTE_REPARSE_POINT))
    {
        WIN32_FIND_DATAW fd;
        HANDLE h = FindFirstFileW((path + L"\\*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE)
        {
            do
                if (wcscmp(fd.cFileName, L".") && wcscmp(fd.cFileName, L".."))
                    RemoveTree(path + L"\\" + fd.cFileName);
            while (FindNextFileW(h, &fd));
            FindClose(h);
        }
        RemoveDirectoryW(path.c_str());
    }
    else if (!DeleteFileW(path.c_str()))
        RemoveDirectoryW(path.c_str());
}

bool WriteWholeFile(const std::string &path, const std::string &data)
{
    HANDLE h = CreateFileW(LongForm(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD cb = 0;
    bool ok = WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &cb, nullptr) && cb == data.size();
    CloseHandle(h);
    return ok;
}

std::string ReadWholeFile(const std::string &path)
{
    HANDLE h = CreateFileW(LongForm(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "<missing>";
    std::string data;
    ReadToEnd(h, data);
    CloseHandle(h);
    return data;
}

std::vector<std::string> DirEntries(const std::string &strDir)
{
    std::vector<std::string> aNames;
    WIN32_FIND_DATAW Data;
    HANDLE const hFind = FindFirstFileW(Widen(strDir + "\\*").c_str(), &Data);
    if (hFind == INVALID_HANDLE_VALUE)
        return aNames;
    do
        if (wcscmp(Data.cFileName, L".") && wcscmp(Data.cFileName, L".."))
            aNames.push_back(Narrow(Data.cFileName));
    while (FindNextFileW(hFind, &Data));
    FindClose(hFind);
    return aNames;
}

bool PathExists(const std::string &path)
{
    return GetFileAttributesW(LongForm(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}
