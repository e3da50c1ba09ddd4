// Typed directives (%R...) through the buffer front end: every family, the placeholders
// for bad pointers, the cursor rule for unknown names and the custom-type registry.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include <algorithm>
#include <string.h>

#include "rt/format.h"
#include "rt/format-types.h"
#include "rt/string.h"
#include "internal/err.h"
#include "rt/net.h"
#include "rt/uuid.h"

namespace {

/** Formats through the reporting writer, checking that the reported length (the sum of
 *  what every directive said it output) matches the text. */
std::string Fmt(const char *pszFormat, ...)
{
    char szBuf[4096];
    va_list va;
    va_start(va, pszFormat);
    ptrdiff_t const cch = RTStrPrintBufExV(szBuf, sizeof(szBuf), pszFormat, va);
    va_end(va);
    EXPECT_GE(cch, 0) << pszFormat;
    EXPECT_EQ(static_cast<size_t>(cch), strlen(szBuf)) << pszFormat;
    return szBuf;
}

size_t CollectOutput(void *pvUser, const char *pch, size_t cch)
{
    if (pch)
        static_cast<std::string *>(pvUser)->append(pch, cch);
    return cch;
}

/** What a status printing form gives on its own, to compare with its directive. */
std::string PrintedStatus(size_t (*pfn)(RTSTATUS, RTFmtOutputFn, void *, char *), RTSTATUS rc)
{
    std::string str;
    char szScratch[RTERR_SCRATCH_SIZE];
    pfn(rc, CollectOutput, &str, szScratch);
    return str;
}

struct FmtCase
{
    const char *pszFormat;
    const char *pszExpect;
    std::string strActual;
};
#define FMT_CASE(expect, fmt, ...) FmtCase{ fmt, expect, Fmt(fmt, __VA_ARGS__) }

void CheckCases(std::vector<FmtCase> const &aCases)
{
    for (FmtCase const &Case : aCases)
        EXPECT_EQ(Case.pszExpect, Case.strActual) << "format: " << Case.pszFormat;
}

const void *BadPtr(uintptr_t u) { return reinterpret_cast<const void *>(u); }

/** A big-endian UTF-16 array from host-order units. */
std::vector<RTUTF16> BigUtf16(std::initializer_list<uint16_t> aUnits)
{
    std::vector<RTUTF16> v;
    for (uint16_t u : aUnits)
        v.push_back(static_cast<RTUTF16>(static_cast<uint16_t>(u >> 8 | u << 8)));
    return v;
}

} /* namespace */

TEST(FormatRType, Integers)
{
    CheckCases({
        FMT_CASE("1f", "%RX32", 0x1fu),
        FMT_CASE("0x1f", "%#RX32", 0x1fu),
        FMT_CASE("0000001f", "%08RX32", 0x1fu),
        FMT_CASE("-5", "%RI32", -5),
        FMT_CASE("-2147483648", "%RI32", INT32_MIN),
        FMT_CASE("+7", "%+RI32", 7),
        FMT_CASE("255", "%RU8", 0x1ffu),
        FMT_CASE("-1", "%RI8", 0xffu),
        FMT_CASE("65535", "%RU16", 0x1ffffu),
        FMT_CASE("-32768", "%RI16", 0x8000u),
        FMT_CASE("2345", "%RX16", 0x12345u),
        FMT_CASE("4294967295", "%RU32", UINT32_MAX),
        FMT_CASE("18446744073709551615", "%RU64", UINT64_MAX),
        FMT_CASE("-9223372036854775808", "%RI64", INT64_MIN),
        FMT_CASE("123456789abcdef0", "%RX64", UINT64_C(0x123456789abcdef0)),
        FMT_CASE("1 234 567", "%'RU64", UINT64_C(1234567)),
        FMT_CASE("    42", "%6RU32", 42u),
        FMT_CASE("42    |", "%-6RU32|", 42u),
        FMT_CASE("-3", "%RCi", -3),
        FMT_CASE("deadbeefcafe", "%RGx", UINT64_C(0xdeadbeefcafe)),
        FMT_CASE("-1", "%RTfoff", INT64_C(-1)),
        FMT_CASE("1f", "%RTxint", 0x1fu),
        FMT_CASE("-9", "%RTint", -9),
    });
}

TEST(FormatRType, FixedWidthHex)
{
    CheckCases({
        FMT_CASE("000001f4", "%RTnthrd", 0x1f4u),
        FMT_CASE("0x000001f4", "%#RTnthrd", 0x1f4u),
        FMT_CASE(" 1f4", "%4RTnthrd", 0x1f4u),
        FMT_CASE("0x0000000000001234", "%#RGp", UINT64_C(0x1234)),
        FMT_CASE("0000000000001234", "%RTptr", UINT64_C(0x1234)),
        FMT_CASE("0041", "%RTutf16", 0x10041u),
        FMT_CASE("000041", "%6RTunicp", 0x41u),
        FMT_CASE("00ff", "%RTsel", 0xffu),
        FMT_CASE("deadbeef", "%RHv", 0xdeadbeefu),
    });
}

TEST(FormatRType, Booleans)
{
    CheckCases({
        FMT_CASE("true", "%RTbool", true),
        FMT_CASE("false", "%RTbool", false),
        FMT_CASE("!2!", "%RTbool", 2),
        FMT_CASE("true |", "%#RTbool|", 1),
        FMT_CASE("false|", "%#RTbool|", 0),
    });
}

TEST(FormatRType, SelectorOffset)
{
    RTFAR16 const Far16 = { 0x1234, 0x0008 };
    RTFAR32 const Far32 = { 0x12345678, 0x001b, 0 };
    RTFAR64 const Far64 = { UINT64_C(0x123456789abcdef0), 0x0010, 0 };
    // The '|%d' after each shows that the whole argument slot was consumed; the caller's
    // width and sign flags do not apply.
    CheckCases({
        FMT_CASE("0008:1234|7", "%RTfp16|%d", Far16, 7),
        FMT_CASE("001b:12345678|7", "%RTfp32|%d", Far32, 7),
        FMT_CASE("0010:123456789abcdef0|7", "%RTfp64|%d", Far64, 7),
        FMT_CASE("0008:1234", "%+20RTfp16", Far16),
    });
}

TEST(FormatRType, MixedArgumentSizes)
{
    EXPECT_EQ("1099511627776 7 3 -1 x", Fmt("%RU64 %RU32 %RU64 %RI8 %s", UINT64_C(1) << 40, 7u,
                                            UINT64_C(3), 0xff, "x"));
}

TEST(FormatRType, Addresses)
{
    RTNETADDRIPV6 const aV6[] = {
        {{ 0x20, 0x01, 0x0d, 0xb8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1 }},
        {{ 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 1 }},
        {{ 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 0xc0, 0x00, 0x02, 0x01 }},
        {{ 0 }},
        {{ 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1 }},
        {{ 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff, 0, 0, 1, 2, 3, 4 }},
        {{ 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4 }},
        {{ 0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8 }},
        {{ 0, 1, 0, 0, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7 }},
        {{ 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0 }},
        {{ 0, 1, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 3, 0, 4 }},
        {{ 0xfe, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xab, 0xcd, 0xef, 0x01 }},
    };
    RTMAC const Mac = {{ 0x00, 0x1a, 0x2b, 0x3c, 0x4d, 0x5e }};
    uint8_t const abV4[4] = { 192, 0, 2, 1 };
    uint32_t uV4;
    memcpy(&uV4, abV4, sizeof(uV4));

    RTNETENDPOINT V4Port = {};
    memcpy(V4Port.abAddr, abV4, 4);
    V4Port.uType = RTNETADDR_TYPE_IPV4;
    V4Port.uPort = 8080;
    RTNETENDPOINT V4 = V4Port;
    V4.uPort = RTNETADDR_PORT_NONE;
    RTNETENDPOINT V6Port = {};
    memcpy(V6Port.abAddr, aV6[0].ab, 16);
    V6Port.uType = RTNETADDR_TYPE_IPV6;
    V6Port.uPort = 443;
    RTNETENDPOINT V6 = V6Port;
    V6.uPort = RTNETADDR_PORT_NONE;
    RTNETENDPOINT MacAddr = {};
    memcpy(MacAddr.abAddr, Mac.ab, 6);
    MacAddr.uType = RTNETADDR_TYPE_MAC;
    RTNETENDPOINT Other = {};
    Other.uType = 3;

    CheckCases({
        FMT_CASE("2001:db8::1", "%RTnaipv6", &aV6[0]),
        FMT_CASE("1:0:0:1::1", "%RTnaipv6", &aV6[1]),
        FMT_CASE("::ffff:192.0.2.1", "%RTnaipv6", &aV6[2]),
        FMT_CASE("::", "%RTnaipv6", &aV6[3]),
        FMT_CASE("::1", "%RTnaipv6", &aV6[4]),
        FMT_CASE("::ffff:0:1.2.3.4", "%RTnaipv6", &aV6[5]),
        FMT_CASE("::1.2.3.4", "%RTnaipv6", &aV6[6]),
        FMT_CASE("1:2:3:4:5:6:7:8", "%RTnaipv6", &aV6[7]),
        FMT_CASE("1:0:2:3:4:5:6:7", "%RTnaipv6", &aV6[8]),
        FMT_CASE("1::", "%RTnaipv6", &aV6[9]),
        FMT_CASE("1::2:0:0:3:4", "%RTnaipv6", &aV6[10]),
        FMT_CASE("fe80::abcd:ef01", "%RTnaipv6", &aV6[11]),
        FMT_CASE("192.0.2.1", "%RTnaipv4", uV4),
        FMT_CASE("00:1a:2b:3c:4d:5e", "%RTmac", &Mac),
        FMT_CASE("192.0.2.1:8080", "%RTnaddr", &V4Port),
        FMT_CASE("192.0.2.1", "%RTnaddr", &V4),
        FMT_CASE("[2001:db8::1]:443", "%RTnaddr", &V6Port),
        FMT_CASE("2001:db8::1", "%RTnaddr", &V6),
        FMT_CASE("00:1a:2b:3c:4d:5e", "%RTnaddr", &MacAddr),
        FMT_CASE("unsupported-netaddr-type=3", "%RTnaddr", &Other),
    });

    std::string str;
    EXPECT_EQ(11u, RTFmtIPv6(CollectOutput, &str, aV6[0].ab));
    EXPECT_EQ("2001:db8::1", str);
}

TEST(FormatRType, Uuid)
{
    RTUUID Uuid;
    for (unsigned i = 0; i < 16; i++)
        Uuid.au8[i] = static_cast<uint8_t>(i);
    EXPECT_EQ("03020100-0504-0706-0809-0a0b0c0d0e0f", Fmt("%RTuuid", &Uuid));
}

TEST(FormatRType, BadPointersPrintPlaceholders)
{
    CheckCases({
        FMT_CASE("<NULL>", "%RTnaipv6", BadPtr(0)),
        FMT_CASE("<00000020!BadIPv6>", "%RTnaipv6", BadPtr(0x20)),
        FMT_CASE("<fffff000!BadMac>", "%RTmac", BadPtr(0xfffff000)),
        FMT_CASE("<00000fff!BadNetAddr>", "%RTnaddr", BadPtr(0xfff)),
        FMT_CASE("<00000010!BadUuid>", "%RTuuid", BadPtr(0x10)),
        FMT_CASE("<00000010!BadBaseName>|1", "%Rbn|%d", BadPtr(0x10), 1),
        FMT_CASE("<NULL>", "%Rfn", BadPtr(0)),
        FMT_CASE("<00000010!BadFnNm>", "%Rfn", BadPtr(0x10)),
        FMT_CASE("<00000010!BadRD>", "%RDtimespec", BadPtr(0x10)),
        FMT_CASE("<null>|1", "%Rhxd|%d", BadPtr(0), 1),
        FMT_CASE("<null>|1", "%RhXs|%d", BadPtr(0x10), UINT64_C(0), 1),
        FMT_CASE("&lt;NULL&gt;", "%RMes", BadPtr(0x10)),
        FMT_CASE("  <NULL>", "%8.*lRbs", 4, BadPtr(0)),
        FMT_CASE("|1", "%RTeic|%d", BadPtr(0x10), 1),
    });
}

TEST(FormatRType, UnknownTypesPrintNothingAndSkipOneLetter)
{
    CheckCases({
        FMT_CASE("abc", "%RZabc", 0),
        FMT_CASE("5", "%RZ%d", 5),
        FMT_CASE("foo|5", "%RTfoo|%d", 5),
        FMT_CASE("6|5", "%RX6|%d", 5),
        FMT_CASE("x5", "%Rrx%d", 5),
        FMT_CASE("q5", "%Rwq%d", 5),
        FMT_CASE("z5", "%Rhz%d", 5),
        FMT_CASE("xq5", "%Rhxq%d", 5),
        FMT_CASE("s5", "%Rbs%d", 5),
        FMT_CASE("time5", "%RDtime%d", 5),
        FMT_CASE("", "%R", 0),
        FMT_CASE("", "%Rr", 0),
    });
}

TEST(FormatRType, StatusForms)
{
    EXPECT_EQ("ERR_OPTION_UNKNOWN", Fmt("%Rrc", ERR_OPTION_UNKNOWN));
    EXPECT_EQ("-12345", Fmt("%Rrc", -12345));
    EXPECT_EQ("Unknown Status -12345 (0xffffcfc7)", Fmt("%Rrs", -12345));
    EXPECT_EQ(PrintedStatus(RTErrPrintMessage, ERR_OPTION_UNKNOWN) + "|" + PrintedStatus(RTErrPrintMessage, ERR_BAD_ARGUMENT),
              Fmt("%Rrs|%Rrf", ERR_OPTION_UNKNOWN, ERR_BAD_ARGUMENT));
    EXPECT_EQ(PrintedStatus(RTErrPrintFull, ERR_OPTION_UNKNOWN) + "|7", Fmt("%Rra|%d", ERR_OPTION_UNKNOWN, 7));
    EXPECT_EQ("ERROR_SUCCESS", Fmt("%Rwc", 0u));
    EXPECT_EQ("ERROR_SUCCESS/0x80070000", Fmt("%Rwf", 0x80070000u));
    EXPECT_EQ("0x5", Fmt("%Rwc", 5u));
    EXPECT_EQ("Unknown Status 0x5|ERROR_SUCCESS (0x0)", Fmt("%Rwa|%Rwa", 5u, 0u));
}

TEST(FormatRType, ErrInfo)
{
    char szReason[32];
    RTERRINFO ErrInfo;
    RTErrInfoInit(&ErrInfo, szReason, sizeof(szReason));
    strcpy(szReason, "disk on fire");

    // Without a stored reason nothing is printed.
    EXPECT_EQ("|", Fmt("%RTeic|%RTeim", &ErrInfo, &ErrInfo));

    ErrInfo.uMarks |= ERRINFO_HAS_REASON;
    ErrInfo.iResult = ERR_OPTION_UNKNOWN;
    std::string const strMsg = PrintedStatus(RTErrPrintMessage, ERR_OPTION_UNKNOWN);
    EXPECT_EQ(strMsg + ": disk on fire", Fmt("%RTeic", &ErrInfo));
    EXPECT_EQ(": disk on fire", Fmt("%RTeim", &ErrInfo));
    EXPECT_EQ(" - disk on fire", Fmt("%#RTeim", &ErrInfo));

    // The message never runs past the buffer size, terminated or not.
    ErrInfo.cbReason = 4;
    EXPECT_EQ(": disk", Fmt("%RTeim", &ErrInfo));
    ErrInfo.cbReason = 0;
    EXPECT_EQ(strMsg, Fmt("%RTeic", &ErrInfo));

    // A record with a bad buffer pointer prints its status but never touches the buffer.
    ErrInfo.cbReason = sizeof(szReason);
    ErrInfo.pszReason = static_cast<char *>(const_cast<void *>(BadPtr(0x10)));
    EXPECT_EQ(strMsg, Fmt("%RTeic", &ErrInfo));

    // The signature is required.
    ErrInfo.pszReason = szReason;
    ErrInfo.uMarks = ERRINFO_HAS_REASON;
    EXPECT_EQ("", Fmt("%RTeic", &ErrInfo));
}

TEST(FormatRType, Names)
{
    CheckCases({
        FMT_CASE("file.txt", "%Rbn", "C:\\dir\\file.txt"),
        FMT_CASE("file.txt", "%Rbn", "C:/dir//file.txt"),
        FMT_CASE("dir\\", "%Rbn", "C:\\dir\\"),
        FMT_CASE("x", "%Rbn", "C:x"),
        FMT_CASE("name", "%Rbn", "name"),
        FMT_CASE("/", "%Rbn", "/"),
        FMT_CASE("", "%Rbn", ""),
        FMT_CASE("rtR3InitBody", "%Rfn", "int __cdecl rtR3InitBody(unsigned int,int,char ***,const char *)"),
        FMT_CASE("RTErrConvertFromNtStatus", "%Rfn", "int __cdecl RTErrConvertFromNtStatus(long)"),
        FMT_CASE("ns::Box<int, char>::get", "%Rfn", "int __thiscall ns::Box<int, char>::get(void)"),
        FMT_CASE("main", "%Rfn", "main"),
    });
}

TEST(FormatRType, BigEndianUtf16)
{
    std::vector<RTUTF16> const Text = BigUtf16({ 'H', 0xe9, 0xd83d, 0xde00, '!', 0, 'x' });
    std::vector<RTUTF16> const Cut = BigUtf16({ 'A', 0xd83d, 0xde00 });
    std::vector<RTUTF16> const Bad = BigUtf16({ 'A', 0xdc00, 'B' });
    CheckCases({
        FMT_CASE("H\xc3\xa9\xf0\x9f\x98\x80!", "%.*lRbs", 7, Text.data()),
        FMT_CASE("H\xc3\xa9", "%.*lRbs", 2, Text.data()),
        FMT_CASE("   H\xc3\xa9|", "%5.*lRbs|", 2, Text.data()),
        FMT_CASE("H\xc3\xa9\xf0\x9f\x98\x80   |", "%-6.*lRbs|", 4, Text.data()),
        // A pair cut by the count, and a unit that does not decode, end the text.
        FMT_CASE("A", "%.*lRbs", 2, Cut.data()),
        FMT_CASE("A", "%.*lRbs", 3, Bad.data()),
        FMT_CASE("|1", "%lRbs|%d", Text.data(), 1),
    });
}

TEST(FormatRType, HexStrings)
{
    uint8_t const ab[] = { 0x01, 0x02, 0xab, 'a', 'b' };
    CheckCases({
        FMT_CASE("01 02 ab", "%.*Rhxs", 3, ab),
        FMT_CASE("01:02:ab", "%'.*Rhxs", 3, ab),
        FMT_CASE("0102ab", "%#.*Rhxs", 3, ab),
        FMT_CASE("0102ab", "%#'.*Rhxs", 3, ab),
        FMT_CASE("|", "%.*Rhxs|", 0, ab),
        FMT_CASE("00001000: 01 02|5", "%.*RhXs|%d", 2, ab, UINT64_C(0x1000), 5),
        FMT_CASE("fffffffe: 61 62", "%.*RhXs", 2, &ab[3], UINT64_C(0xfffffffe)),
        FMT_CASE("00000000ffffffff: 61 62", "%.*RhXs", 2, &ab[3], UINT64_C(0xffffffff)),
        FMT_CASE("0000000100000000: 61", "%.*RhXs", 1, &ab[3], UINT64_C(0x100000000)),
    });
    uint8_t ab16[16];
    for (unsigned i = 0; i < 16; i++)
        ab16[i] = static_cast<uint8_t>(i);
    EXPECT_EQ("00 01 02 03 04 05 06 07 08 09 0a 0b 0c 0d 0e 0f", Fmt("%Rhxs", ab16));
}

TEST(FormatRType, HexDumps)
{
    const char *pszText = "0123456789ABCDEFGHIJ\x7f\x80";
    EXPECT_EQ("00001000/0000: 30 31 32 33 34 35 36 37-38 39 41 42 43 44 45 46 0123456789ABCDEF\n"
              "00001010/0010: 47 48 49 4a 7f 80                               GHIJ..",
              Fmt("%.*RhXd", 22, pszText, UINT64_C(0x1000)));
    EXPECT_EQ("00000000/0000: 30 31 32 33 34 35 36 37-38 39 0123456789\n"
              "0000000a/000a: 41 42" + std::string(8 * 3, ' ') + " AB",
              Fmt("%10.*RhXd", 12, pszText, UINT64_C(0)));

    // With %Rhx the address is the pointer itself.
    char szAddr[16];
    snprintf(szAddr, sizeof(szAddr), "%08x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(pszText)));
    EXPECT_EQ(std::string(szAddr) + "/0000: 30 31" + std::string(14 * 3, ' ') + " 01",
              Fmt("%.*Rhxd", 2, pszText));

    // Ditto: repeated lines collapse only when two or more would go; the first and the
    // last line always show.
    uint8_t ab[96];
    memset(ab, 'A', 64);
    memset(&ab[64], 'B', 32);
    std::string const strA = " 41 41 41 41 41 41 41 41-41 41 41 41 41 41 41 41 AAAAAAAAAAAAAAAA";
    std::string const strB = " 42 42 42 42 42 42 42 42-42 42 42 42 42 42 42 42 BBBBBBBBBBBBBBBB";
    EXPECT_EQ("00000000/0000:" + strA + "\n00000010/0010:" + strA + "\n00000020/0020:" + strA,
              Fmt("%.*RhXD", 48, ab, UINT64_C(0)));
    memset(&ab[64], 'A', 16);
    EXPECT_EQ("00000000/0000:" + strA + "\n******** ****  <ditto x 3>\n00000040/0040:" + strA,
              Fmt("%.*RhXD", 80, ab, UINT64_C(0)));
    memset(&ab[64], 'B', 32);
    EXPECT_EQ("00000000/0000:" + strA + "\n******** ****  <ditto x 3>\n00000040/0040:" + strB
              + "\n00000050/0050:" + strB,
              Fmt("%.*RhXD", 96, ab, UINT64_C(0)));
    // Without ditto every line shows.
    EXPECT_EQ(4u, [&] { std::string s = Fmt("%.*RhXd", 64, ab, UINT64_C(0)); return std::count(s.begin(), s.end(), '\n'); }() + 1);
    // A width of zero from '*' falls back to 16 bytes per line.
    EXPECT_EQ("00000000/0000:" + strA, Fmt("%*.*RhXd", 0, 16, ab, UINT64_C(0)));
}

TEST(FormatRType, Sizes)
{
    CheckCases({
        FMT_CASE("1.5KiB", "%Rhcb", UINT64_C(1536)),
        FMT_CASE("1.5KB", "%RhcB", UINT64_C(1536)),
        FMT_CASE("1536B", "%.0Rhcb", UINT64_C(1536)),
        FMT_CASE("2KiB", "%.0Rhcb", UINT64_C(2048)),
        FMT_CASE("2.0kB", "%Rhci", UINT64_C(1999)),
        FMT_CASE("1009B", "%.0Rhci", UINT64_C(1009)),
        FMT_CASE("1kB", "%.0Rhci", UINT64_C(1010)),
        FMT_CASE("1.23MB", "%.2Rhci", UINT64_C(1234567)),
        FMT_CASE("1000.0kB", "%Rhci", UINT64_C(999999)),
        FMT_CASE("1.5Ki", "%Rhub", UINT64_C(1536)),
        FMT_CASE("1.5 KiB", "% Rhcb", UINT64_C(1536)),
        FMT_CASE("0B", "%Rhcb", UINT64_C(0)),
        FMT_CASE("999", "%Rhui", UINT64_C(999)),
        FMT_CASE("1.000MiB", "%.5Rhcb", UINT64_C(1048576)),
        // Fractions of the largest units are exact: no product overflows.
        FMT_CASE("15.999EiB", "%.3Rhcb", UINT64_MAX),
        FMT_CASE("18.447EB", "%.3Rhci", UINT64_MAX),
        FMT_CASE("1.0E|7", "%Rhui|%d", UINT64_C(1000000000000000000), 7),
    });
}

TEST(FormatRType, Escaping)
{
    CheckCases({
        FMT_CASE("a&lt;b", "%RMes", "a<b"),
        FMT_CASE("&lt;&gt;&amp;&quot;&apos;\n", "%RMes", "<>&\"'\n"),
        FMT_CASE("\"&lt;&amp;&quot;'&#xA;&#xD;\"", "%RMas", "<&\"'\n\r"),
        FMT_CASE("\"a\\\"b\"", "%RMjs", "a\"b"),
        FMT_CASE("\"\\\\/\\b\\t\\n\\f\\u000d\\u001f\x7f\xc3\xa9\"", "%RMjs", "\\/\b\t\n\f\r\x1f\x7f\xc3\xa9"),
        FMT_CASE("a%20b%2F%2B~-._%C3%A9", "%RMpa", "a b/+~-._\xc3\xa9"),
        FMT_CASE("a%20b/%2B", "%RMpp", "a b/+"),
        FMT_CASE("a%20b%2F+", "%RMpq", "a b/+"),
        FMT_CASE("a+b%2F%2B", "%RMpf", "a b/+"),
        FMT_CASE("\"    ab\"", "%6RMjs", "ab"),
        FMT_CASE("\"ab    \"", "%-6RMas", "ab"),
        FMT_CASE("  &lt;", "%3RMes", "<"),
        FMT_CASE("%20%20ab", "%4RMpa", "ab"),
        FMT_CASE("a&lt;", "%.2RMes", "a<b"),
        FMT_CASE("s5", "%RMs%d", 5),
    });
}

TEST(FormatRType, TimeSpec)
{
    int64_t const nsA = INT64_C(1234567890);
    int64_t const nsB = -1000;
    EXPECT_EQ("1 234 567 890 ns|-1 000 ns", Fmt("%RDtimespec|%RDtimespec", &nsA, &nsB));
}

namespace {

size_t PointHandler(RTFmtOutputFn pfnOutput, void *pvOutput, const char *pszType, uint32_t uValue,
                    int cchWidth, int cchPrecision, uint32_t fFlags, void *pvUser)
{
    char sz[128];
    int const cch = snprintf(sz, sizeof(sz), "%s(%u,w%d,p%d,%s,%s)", pszType, uValue, cchWidth, cchPrecision,
                             fFlags & FMT_LEFT ? "left" : "right", static_cast<const char *>(pvUser));
    return pfnOutput(pvOutput, sz, static_cast<size_t>(cch));
}

} /* namespace */

TEST(FormatRType, CustomTypes)
{
    static char s_szUser[] = "user";
    ASSERT_EQ(INF_SUCCESS, RTFmtCustomRegister("point", PointHandler, s_szUser));
    ASSERT_EQ(INF_SUCCESS, RTFmtCustomRegister("zeta", PointHandler, s_szUser));
    ASSERT_EQ(INF_SUCCESS, RTFmtCustomRegister("alpha", PointHandler, s_szUser));
    ASSERT_EQ(INF_SUCCESS, RTFmtCustomRegister("poin", PointHandler, s_szUser));

    // Kept sorted, with a shorter name before a longer one sharing its prefix.
    EXPECT_EQ(0, RTFmtCustomLookup("alpha", 5));
    EXPECT_EQ(1, RTFmtCustomLookup("poin", 4));
    EXPECT_EQ(2, RTFmtCustomLookup("pointer", 5));
    EXPECT_EQ(3, RTFmtCustomLookup("zeta", 4));
    EXPECT_EQ(-1, RTFmtCustomLookup("po", 2));
    EXPECT_EQ(-1, RTFmtCustomLookup("points", 6));
    EXPECT_EQ(-1, RTFmtCustomLookup(static_cast<const char *>(BadPtr(0x10)), 3));

    CheckCases({
        FMT_CASE("point(7,w-1,p-1,right,user)|8", "%R[point]|%d", 7u, 8),
        FMT_CASE("poin(7,w5,p2,left,user)", "%-5.2R[poin]", 7u),
        FMT_CASE("<missing:%R[nope]>|2", "%R[nope]|%d", 1u, 2),
        FMT_CASE("<missing:%R[]>|2", "%R[]|%d", 1u, 2),
        // A broken name consumes nothing and prints as text from after the '['.
        FMT_CASE("fo5", "%R[fo%d", 5),
        FMT_CASE("a[b]5", "%R[a[b]%d", 5),
        FMT_CASE("abc", "%R[abc", 5),
    });

    EXPECT_EQ(ERR_NAME_TAKEN, RTFmtCustomRegister("point", PointHandler, nullptr));
    EXPECT_EQ(ERR_BAD_ARGUMENT, RTFmtCustomRegister("", PointHandler, nullptr));
    EXPECT_EQ(ERR_BAD_ARGUMENT, RTFmtCustomRegister("a]b", PointHandler, nullptr));
    EXPECT_EQ(ERR_BAD_ARGUMENT, RTFmtCustomRegister("a%b", PointHandler, nullptr));
    EXPECT_EQ(ERR_BAD_ARGUMENT, RTFmtCustomRegister(std::string(RTFMT_CUSTOM_NAME_MAX + 1, 'n').c_str(),
                                                    PointHandler, nullptr));
    EXPECT_EQ(ERR_BAD_POINTER, RTFmtCustomRegister(nullptr, PointHandler, nullptr));
    EXPECT_EQ(ERR_BAD_POINTER, RTFmtCustomRegister("x", nullptr, nullptr));

    // The registry has a fixed size.
    std::vector<std::string> aNames;
    for (size_t i = 4; i < RTFMT_CUSTOM_TYPES_MAX; i++)
    {
        aNames.push_back("t" + std::to_string(i));
        ASSERT_EQ(INF_SUCCESS, RTFmtCustomRegister(aNames.back().c_str(), PointHandler, s_szUser));
    }
    std::string const strLongest(RTFMT_CUSTOM_NAME_MAX, 'n');
    EXPECT_EQ(ERR_OUT_OF_MEMORY, RTFmtCustomRegister(strLongest.c_str(), PointHandler, s_szUser));
    for (std::string const &strName : aNames)
        EXPECT_EQ(INF_SUCCESS, RTFmtCustomDeregister(strName.c_str()));
    EXPECT_EQ(INF_SUCCESS, RTFmtCustomRegister(strLongest.c_str(), PointHandler, s_szUser));
    EXPECT_EQ(strLongest + "(1,w-1,p-1,right,user)", Fmt(("%R[" + strLongest + "]").c_str(), 1u));

    for (const char *pszName : { "point", "zeta", "alpha", "poin", strLongest.c_str() })
        EXPECT_EQ(INF_SUCCESS, RTFmtCustomDeregister(pszName));
    EXPECT_EQ(ERR_ITEM_NOT_FOUND, RTFmtCustomDeregister("point"));
    EXPECT_EQ(-1, RTFmtCustomLookup("point", 5));
    EXPECT_EQ("<missing:%R[point]>", Fmt("%R[point]", 1u));
}
