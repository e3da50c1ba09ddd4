/* Packed installers as the platform sees them: its own resource lookup, made the way the
 * stub makes it (language-neutral), finds the manifest, every header and every blob byte
 * for byte. */
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdio>
#include <string>
#include <vector>
#include "process-runner.h"
#include "NimbStubPayload.h"

namespace {

std::vector<uint8_t> ReadFile(const std::wstring &wstrPath)
{
    std::vector<uint8_t> ab;
    FILE *pFile = _wfopen(wstrPath.c_str(), L"rb");
    if (!pFile)
        return ab;
    uint8_t abBuf[65536];
    size_t cb;
    while ((cb = fread(abBuf, 1, sizeof(abBuf), pFile)) > 0)
        ab.insert(ab.end(), abBuf, abBuf + cb);
    fclose(pFile);
    return ab;
}

/** A resource of the payload type, looked up by name the way the stub does. */
std::vector<uint8_t> Resource(HMODULE hMod, const std::string &strName)
{
    std::wstring const wstrName = Widen(strName);
    HRSRC hRes = FindResourceExW(hMod, MAKEINTRESOURCEW(PAYLOAD_RESOURCE_TYPE), wstrName.c_str(),
                                 PAYLOAD_LOOKUP_LANGUAGE);
    if (!hRes)
        return {};
    auto const pb = static_cast<const uint8_t *>(LockResource(LoadResource(hMod, hRes)));
    return pb ? std::vector<uint8_t>(pb, pb + SizeofResource(hMod, hRes)) : std::vector<uint8_t>();
}

TEST(PackedStub, PlatformFindsEveryPackage)
{
    HMODULE hMod = LoadLibraryExW(BuildPath("fixtures/installers/pack-255.exe").c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(hMod, nullptr);
    std::vector<uint8_t> const abManifest = Resource(hMod, PAYLOAD_MANIFEST_NAME);
    ASSERT_EQ(abManifest.size(), sizeof(PackageManifest));
    EXPECT_EQ(abManifest[offsetof(PackageManifest, packageCount)], 255);
    for (unsigned i = 0; i < 255; i++)
    {
        char szName[PAYLOAD_RESOURCE_NAME_BUFFER];
        snprintf(szName, sizeof(szName), PAYLOAD_HEADER_NAME_FORMAT, i);
        std::vector<uint8_t> const abHeader = Resource(hMod, szName);
        ASSERT_EQ(abHeader.size(), sizeof(PackageHeader)) << szName;
        PackageHeader Hdr;
        memcpy(&Hdr, abHeader.data(), sizeof(Hdr));
        EXPECT_EQ(Hdr.architecture, uint32_t(PACKAGE_ARCH_ANY)) << szName;
        char szFile[32];
        snprintf(szFile, sizeof(szFile), i == 0 ? "pkg%03u.msi" : "pkg%03u.cab", i);
        EXPECT_STREQ(Hdr.fileName, szFile);
        std::vector<uint8_t> const abBlob = Resource(hMod, Hdr.resourceName);
        EXPECT_EQ(abBlob, ReadFile(BuildPath((std::string("fixtures/packages/") + szFile).c_str()))) << szFile;
        EXPECT_EQ(abBlob.size(), i + 1) << szFile;
    }
    FreeLibrary(hMod);
}

} /* namespace */
