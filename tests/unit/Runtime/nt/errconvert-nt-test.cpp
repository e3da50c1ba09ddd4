/* NT status to status conversion, and the release-log report of unmapped values. */
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "code-mapping.h"
#include "rt/err.h"
#include "rt/format.h"
#include "rt/log.h"

namespace {

const CodeMapping g_aMappings[] =
{
    { INF_SUCCESS, { 0x0 } },
    { ERR_BAD_ARGUMENT, { 0xc000000d, 0xc00000ef, 0xc00000f0, 0xc00000f1, 0xc00000f2, 0xc00000f3, 0xc00000f4, 0xc00000f5, 0xc00000f6, 0xc00000f7, 0xc00000f8, 0xc00000f9, 0xc00000fa } },
    { ERR_BAD_HANDLE, { 0xc0000008 } },
    { ERR_BAD_POINTER, { 0x80000002, 0xc0000005 } },
    { ERR_OUT_OF_MEMORY, { 0xc0000017 } },
    { ERR_BAD_FUNCTION, { 0xc0000003 } },
    { ERR_ACCESS_REFUSED, { 0xc0000022 } },
    { ERR_CALL_INTERRUPTED, { 0xc0, 0x101 } },
    { ERR_AUTH_FAILED, { 0xc000006d } },
    { ERR_FILE_MISSING, { 0xc000000e, 0xc000000f, 0xc0000034 } },
    { ERR_PATH_MISSING, { 0xc000003a } },
    { ERR_BAD_NAME, { 0xc0000033, 0xc0000039, 0xc000003b } },
    { ERR_SHARING_CONFLICT, { 0xc0000043 } },
    { ERR_DIRECTORY_HAS_ENTRIES, { 0xc0000101 } },
    { ERR_NOT_DIRECTORY, { 0xc0000103 } },
    { ERR_IS_DIRECTORY, { 0xc00000ba } },
    { ERR_WRONG_OBJECT_TYPE, { 0xc0000024 } },
    { ERR_LINK_LOOP, { 0xc0000280 } },
    { ERR_MEDIUM_ABSENT, { 0xc0000013 } },
    { ERR_ENUMERATION_DONE, { 0x80000006, 0x8000001a } },
    { ERR_DEVICE_COMMAND_INVALID, { 0xc0000010 } },
    { ERR_NETWORK_FAULT, { 0xc00000c4 } },
    { ERR_NETWORK_NAME_INVALID, { 0xc00000be } },
    { ERR_IMAGE_HASH_REJECTED, { 0xc0000428 } },
    { ERR_TRUST_VERIFICATION_FAILED, { 0xc0000190 } },
};

/* What the conversion handed to the release logger, argument by argument. */
struct LogCall
{
    RTLOGINSTANCE *pLogger;
    uint32_t       fFlags;
    uint32_t       iGroup;
    std::string    format;
    std::vector<std::string> args;
    std::string    text;   /* as the format engine renders it */
};

std::vector<LogCall> g_calls;

std::string Text(const char *psz)
{
    return psz ? std::string(psz) : std::string("(null pointer)");
}

RTSTATUS CapturePrintV(RTLOGINSTANCE *pLogger, uint32_t fFlags, uint32_t iGroup,
                       const char *pszFormat, va_list args)
{
    LogCall call{ pLogger, fFlags, iGroup, pszFormat, {}, {} };
    char szText[256];
    va_list argsText;
    va_copy(argsText, args);
    RTStrPrintBufV(szText, sizeof(szText), pszFormat, argsText);
    va_end(argsText);
    call.text = szText;
    if (call.format == "AssertLogRel %s(%d) %s: %s\n")
    {
        call.args.push_back(Text(va_arg(args, const char *)));
        call.args.push_back(std::to_string(va_arg(args, int)));
        call.args.push_back(Text(va_arg(args, const char *)));
        call.args.push_back(Text(va_arg(args, const char *)));
    }
    else if (call.format == "Unhandled error %#lx (%lu)\n")
    {
        call.args.push_back(std::to_string(va_arg(args, unsigned long)));
        call.args.push_back(std::to_string(va_arg(args, unsigned long)));
    }
    g_calls.push_back(call);
    return INF_SUCCESS;
}

/* Installs a stand-in release logger for one test through the logger's print hook. */
class ReleaseLogger : public ::testing::Test
{
protected:
    alignas(8) unsigned char m_abInstance[64] = {};

    static RTLOGINSTANCE *s_pInstance;
    static std::vector<uint32_t> s_aLookups;

    /* The release-logger lookup a component would install. */
    static RTLOGINSTANCE *Lookup(uint32_t fFlagsAndGroup)
    {
        s_aLookups.push_back(fFlagsAndGroup);
        return s_pInstance;
    }

    void SetUp() override
    {
        g_calls.clear();
        s_aLookups.clear();
        s_pInstance = reinterpret_cast<RTLOGINSTANCE *>(m_abInstance);
        g_pfnLogRelLookup = Lookup;
        g_pfnLogPrintV = CapturePrintV;
    }
    void TearDown() override
    {
        g_pfnLogRelLookup = nullptr;
        g_pfnLogPrintV = nullptr;
    }
};

RTLOGINSTANCE *ReleaseLogger::s_pInstance;
std::vector<uint32_t> ReleaseLogger::s_aLookups;

} /* namespace */

TEST(ErrConvertFromNtStatus, EveryListedValueMapsToItsStatus)
{
    for (const CodeMapping &m : g_aMappings)
        for (uint32_t value : m.codes)
            EXPECT_EQ(RTErrConvertFromNtStatus(static_cast<int32_t>(value)), m.rc) << std::hex << value;
}

/* Sweeps of the ranges the list draws from catch mappings that are not in the list. */
TEST(ErrConvertFromNtStatus, EverythingElseIsUnmapped)
{
    std::map<uint32_t, RTSTATUS> const expected = MappingByCode(g_aMappings);
    for (uint32_t base : { 0x00000000u, 0x40000000u, 0x80000000u, 0xC0000000u })
        ExpectConversions(expected, base, base + 0xFFF, ERR_UNMAPPED_NATIVE_ERROR,
                          [](uint32_t value) { return RTErrConvertFromNtStatus(static_cast<int32_t>(value)); });
}

TEST_F(ReleaseLogger, UnmappedValueWritesTwoLines)
{
    /* Known to the Win32 conversion, not to this one. */
    EXPECT_EQ(RTErrConvertFromWinError(0xC000042Cu), ERR_PRIVILEGE_MISSING);
    EXPECT_EQ(RTErrConvertFromNtStatus(static_cast<int32_t>(0xC000042Cu)), ERR_UNMAPPED_NATIVE_ERROR);

    /* Asked for level 1 of the assertion group; both lines go there. */
    EXPECT_EQ(s_aLookups, std::vector<uint32_t>{ 0xB0010u });
    ASSERT_EQ(g_calls.size(), 2u);
    for (const LogCall &call : g_calls)
    {
        EXPECT_EQ(call.pLogger, s_pInstance);
        EXPECT_EQ(call.fFlags, 0x10u);
        EXPECT_EQ(call.iGroup, 11u);
    }
    EXPECT_EQ(g_calls[0].format, "AssertLogRel %s(%d) %s: %s\n");
    ASSERT_EQ(g_calls[0].args.size(), 4u);
    EXPECT_EQ(g_calls[0].args[0], "Runtime/nt/RTErrConvertFromNtStatus.cpp");
    EXPECT_GT(std::stoi(g_calls[0].args[1]), 0);
    EXPECT_EQ(g_calls[0].args[2], "int __cdecl RTErrConvertFromNtStatus(long)");
    EXPECT_EQ(g_calls[0].args[3], "(null pointer)");
    EXPECT_EQ(g_calls[1].format, "Unhandled error %#lx (%lu)\n");
    EXPECT_EQ(g_calls[1].args, (std::vector<std::string>{ "3221226540", "3221226540" }));

    EXPECT_EQ(g_calls[0].text, "AssertLogRel Runtime/nt/RTErrConvertFromNtStatus.cpp(" + g_calls[0].args[1]
                               + ") int __cdecl RTErrConvertFromNtStatus(long): <NULL>\n");
    EXPECT_EQ(g_calls[1].text, "Unhandled error 0xc000042c (3221226540)\n");
}

TEST_F(ReleaseLogger, MappedValuesLogNothing)
{
    EXPECT_EQ(RTErrConvertFromNtStatus(0), INF_SUCCESS);
    EXPECT_EQ(RTErrConvertFromNtStatus(static_cast<int32_t>(0xC0000022u)), ERR_ACCESS_REFUSED);
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(ReleaseLogger, SilentWithoutReleaseInstanceOrHook)
{
    /* No lookup installed (as in the installer), or one that finds no enabled logger. */
    g_pfnLogRelLookup = nullptr;
    EXPECT_EQ(RTErrConvertFromNtStatus(-1), ERR_UNMAPPED_NATIVE_ERROR);
    s_pInstance = nullptr;
    g_pfnLogRelLookup = Lookup;
    EXPECT_EQ(RTErrConvertFromNtStatus(-1), ERR_UNMAPPED_NATIVE_ERROR);
    EXPECT_TRUE(g_calls.empty());

    /* An instance without a print hook (no logger created yet) is just as silent. */
    s_pInstance = reinterpret_cast<RTLOGINSTANCE *>(m_abInstance);
    g_pfnLogPrintV = nullptr;
    EXPECT_EQ(RTErrConvertFromNtStatus(-1), ERR_UNMAPPED_NATIVE_ERROR);
    EXPECT_TRUE(g_calls.empty());
}
