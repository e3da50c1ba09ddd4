/* Test support: tables of native error codes with the status each one converts to. */
#pragma once
#include <gtest/gtest.h>
#include <map>
#include <vector>
#include "rt/types.h"

struct CodeMapping
{
    RTSTATUS              rc;
    std::vector<uint32_t> codes;
};

/** The expected status of every listed code; a code listed twice fails the test. */
template <size_t N>
std::map<uint32_t, RTSTATUS> MappingByCode(const CodeMapping (&aMappings)[N])
{
    std::map<uint32_t, RTSTATUS> map;
    for (const CodeMapping &m : aMappings)
        for (uint32_t code : m.codes)
            EXPECT_TRUE(map.emplace(code, m.rc).second) << "listed twice: " << std::hex << code;
    return map;
}

/** Checks fnConvert over [uFirst, uLast]: listed codes give their status, all others rcOther. */
template <typename Fn>
void ExpectConversions(const std::map<uint32_t, RTSTATUS> &expected, uint32_t uFirst, uint32_t uLast,
                       RTSTATUS rcOther, Fn fnConvert)
{
    for (uint32_t code = uFirst;; code++)
    {
        auto it = expected.find(code);
        RTSTATUS const rcWant = it == expected.end() ? rcOther : it->second;
        ASSERT_EQ(fnConvert(code), rcWant) << "code " << std::hex << code;
        if (code == uLast)
            break;
    }
}
