/* Test support: makes names ending in "link" look like reparse points with a chosen tag,
 * for systems that cannot make links. Opens that ask for the reparse point itself get a
 * handle whose attributes carry the reparse-point attribute and the tag; opens that
 * follow it get the object itself, as they would get a link's target. Works through the
 * program's imports of NtCreateFile, NtQueryInformationFile and NtClose. */
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

class FakeReparsePoints
{
public:
    explicit FakeReparsePoints(uint32_t uTag);
    ~FakeReparsePoints();
    /** Whether the platform calls could be replaced. */
    bool Ok() const;
    /** Create options of every NtCreateFile call on a name ending in "link", in order. */
    const std::vector<uint32_t> &LinkOpens() const;

private:
    struct Impl;
    std::unique_ptr<Impl> m_pImpl;
};
