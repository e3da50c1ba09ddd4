/* Test support: installers made from a copy of the built stub with a payload of the test's
 * own, written into the copy's resources, including payloads that no packer would make. */
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct TestPackage
{
    uint32_t    architecture;
    std::string fileName;
    std::string blob;
};

/** One raw-data resource: its name and bytes. */
typedef std::pair<std::string, std::string> TestResource;

/** The manifest, headers and blobs of @p packages, as the stub reads them. */
std::vector<TestResource> PayloadResources(const std::vector<TestPackage> &packages);

/** Copies build/bin/NimbStub.exe to @p exe (a full UTF-8 path) and adds @p resources. */
bool WriteTestInstaller(const std::string &exe, const std::vector<TestResource> &resources);

/** Adds @p resources to the executable @p exe, replacing those of the same names. */
bool AddTestResources(const std::string &exe, const std::vector<TestResource> &resources);
