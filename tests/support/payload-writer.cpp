/* Test support: a stub copy with a payload written through the platform's resource update. */
#include "payload-writer.h"
#include "process-runner.h"
#include "NimbStubPayload.h"
#include <windows.h>
#include <cstdio>
#include <cstring>

std::vector<TestResource> PayloadResources(const std::vector<TestPackage> &packages)
{
    std::vector<TestResource> resources;
    PackageManifest Manifest = {};
    std::memcpy(Manifest.magic, PAYLOAD_MAGIC, sizeof(PAYLOAD_MAGIC));
    Manifest.packageCount = static_cast<uint8_t>(packages.size());
    resources.emplace_back(PAYLOAD_MANIFEST_NAME, std::string(reinterpret_cast<const char *>(&Manifest), sizeof(Manifest)));
    for (size_t i = 0; i < packages.size(); i++)
    {
        PackageHeader Header = {};
        Header.architecture = packages[i].architecture;
        std::snprintf(Header.resourceName, sizeof(Header.resourceName), PAYLOAD_BLOB_NAME_FORMAT, static_cast<int>(i));
        std::snprintf(Header.fileName, sizeof(Header.fileName), "%s", packages[i].fileName.c_str());
        char szHeaderName[PAYLOAD_RESOURCE_NAME_BUFFER];
        std::snprintf(szHeaderName, sizeof(szHeaderName), PAYLOAD_HEADER_NAME_FORMAT, static_cast<int>(i));
        resources.emplace_back(szHeaderName, std::string(reinterpret_cast<const char *>(&Header), sizeof(Header)));
        resources.emplace_back(Header.resourceName, packages[i].blob);
    }
    return resources;
}

bool WriteTestInstaller(const std::string &exe, const std::vector<TestResource> &resources)
{
    return CopyFileW(BuildPath("bin/NimbStub.exe").c_str(), Widen(exe).c_str(), FALSE)
        && AddTestResources(exe, resources);
}

bool AddTestResources(const std::string &exe, const std::vector<TestResource> &resources)
{
    std::wstring const wstrExe = Widen(exe);
    HANDLE const hUpdate = BeginUpdateResourceW(wstrExe.c_str(), FALSE);
    if (!hUpdate)
        return false;
    bool fOk = true;
    for (const auto &Res : resources)
    {
        std::wstring const wstrName = Widen(Res.first);
        fOk = fOk && UpdateResourceW(hUpdate, MAKEINTRESOURCEW(PAYLOAD_RESOURCE_TYPE), wstrName.c_str(),
                                     PAYLOAD_RESOURCE_LANGUAGE, const_cast<char *>(Res.second.data()),
                                     static_cast<DWORD>(Res.second.size()));
    }
    return EndUpdateResourceW(hUpdate, !fOk) && fOk;
}
