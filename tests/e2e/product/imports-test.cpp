/* The product stands on the operating system alone: its load-time imports are exactly
 * kernel32 and ntdll, and certainly no C runtime; every other system library is bound on
 * first use. Read from the built files' import tables. */
#include <gtest/gtest.h>
#include "process-runner.h"
#include "win-text.h"
#include <windows.h>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

/** The DLL names of a PE file's import directory; empty with a failure on a malformed file. */
std::vector<std::string> ImportedDlls(const std::wstring &path)
{
    std::vector<std::string> dlls;
    std::ifstream file(path.c_str(), std::ios::binary);
    std::vector<uint8_t> const image((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (image.size() < sizeof(IMAGE_DOS_HEADER))
    {
        ADD_FAILURE() << "cannot read " << Narrow(path);
        return dlls;
    }
    auto const pDosHdr = reinterpret_cast<const IMAGE_DOS_HEADER *>(image.data());
    size_t const offNt = static_cast<size_t>(pDosHdr->e_lfanew);
    if (pDosHdr->e_magic != IMAGE_DOS_SIGNATURE || offNt + sizeof(IMAGE_NT_HEADERS32) > image.size())
    {
        ADD_FAILURE() << "not a PE image";
        return dlls;
    }
    auto const pNtHdrs = reinterpret_cast<const IMAGE_NT_HEADERS32 *>(image.data() + offNt);
    const IMAGE_SECTION_HEADER *paSections = IMAGE_FIRST_SECTION(pNtHdrs);
    unsigned const cSections = pNtHdrs->FileHeader.NumberOfSections;
    auto const rvaToOffset = [&](uint32_t rva) -> size_t {
        for (unsigned i = 0; i < cSections; i++)
            if (rva >= paSections[i].VirtualAddress && rva < paSections[i].VirtualAddress + paSections[i].SizeOfRawData)
                return rva - paSections[i].VirtualAddress + paSections[i].PointerToRawData;
        return image.size();
    };
    IMAGE_DATA_DIRECTORY const &dir = pNtHdrs->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (size_t off = rvaToOffset(dir.VirtualAddress); off + sizeof(IMAGE_IMPORT_DESCRIPTOR) <= image.size();
         off += sizeof(IMAGE_IMPORT_DESCRIPTOR))
    {
        auto const pDesc = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR *>(image.data() + off);
        if (pDesc->Name == 0)
            return dlls;
        size_t const offName = rvaToOffset(pDesc->Name);
        auto const itEnd = std::find(image.begin() + std::min(offName, image.size()), image.end(), 0);
        dlls.emplace_back(image.begin() + std::min(offName, image.size()), itEnd);
    }
    ADD_FAILURE() << "import directory runs past the end of the file";
    return dlls;
}

/** A C or C++ runtime library by its name. */
bool IsCRuntime(std::string name)
{
    name = Lower(name);
    for (const char *pszPrefix : { "msvcr", "msvcp", "ucrt", "api-ms-win-crt", "vcruntime", "libgcc", "libstdc++",
                                   "libwinpthread", "crtdll" })
        if (name.rfind(pszPrefix, 0) == 0)
            return true;
    return false;
}

bool IsAllowedImport(std::string name)
{
    name = Lower(name);
    return name == "kernel32.dll" || name == "ntdll.dll";
}

TEST(ProductImports, OnlyTheOperatingSystem)
{
    for (const char *pszFile : { "bin/NimbStub.exe", "programs/startup-probe.exe" })
    {
        SCOPED_TRACE(pszFile);
        std::vector<std::string> const dlls = ImportedDlls(BuildPath(pszFile));
        EXPECT_FALSE(dlls.empty());
        for (const std::string &dll : dlls)
        {
            EXPECT_FALSE(IsCRuntime(dll)) << dll;
            EXPECT_TRUE(IsAllowedImport(dll)) << dll;
        }
    }

    /* The product: both, each once, nothing else. */
    std::vector<std::string> dlls = ImportedDlls(BuildPath("bin/NimbStub.exe"));
    for (std::string &dll : dlls)
        dll = Lower(dll);
    std::sort(dlls.begin(), dlls.end());
    EXPECT_EQ(dlls, (std::vector<std::string>{ "kernel32.dll", "ntdll.dll" }));
}

TEST(ProductImports, CheckSeesACRuntime)
{
    /* This test program itself runs on the platform's C runtime: the check must see it. */
    wchar_t wszSelf[MAX_PATH];
    ASSERT_NE(GetModuleFileNameW(nullptr, wszSelf, MAX_PATH), 0u);
    std::vector<std::string> const dlls = ImportedDlls(wszSelf);
    EXPECT_TRUE(std::any_of(dlls.begin(), dlls.end(), IsCRuntime));
    EXPECT_FALSE(std::all_of(dlls.begin(), dlls.end(), IsAllowedImport));
}

} /* namespace */
