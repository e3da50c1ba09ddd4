/* IPv4 addresses, networks and MAC addresses from text, with a differential check of the
 * IPv4 parser against the platform's inet_pton. */
#include <gtest/gtest.h>
#include <winsock2.h>
#include <windows.h>
#include <random>
#include <string>
#include "rt/strconv.h"

TEST(NetParse, IPv4)
{
    uint8_t ab[4] = {};
    EXPECT_EQ(RTNetParseIPv4(" 10.0.0.1 ", ab), INF_SUCCESS);
    EXPECT_EQ(memcmp(ab, "\x0a\x00\x00\x01", 4), 0);
    EXPECT_EQ(RTNetParseIPv4("\t\n255.254.1.0", ab), INF_SUCCESS);
    EXPECT_EQ(memcmp(ab, "\xff\xfe\x01\x00", 4), 0);
    for (const char *psz : { "10.0.0.256", "10.0.0", "10.0.0.1x", "10..0.1", "-1.0.0.1", "10.0.0.1.",
                             "", "1 .2.3.4", "a.b.c.d" })
    {
        SCOPED_TRACE(psz);
        EXPECT_EQ(RTNetParseIPv4(psz, ab), ERR_BAD_ARGUMENT);
    }

    char *pszNext = nullptr;
    EXPECT_EQ(RTNetParseIPv4Ex("1.2.3.4:80", ab, &pszNext), WRN_TRAILING_CHARS);
    EXPECT_STREQ(pszNext, ":80");
    EXPECT_EQ(RTNetParseIPv4Ex("1.2.3.4 ", ab, &pszNext), WRN_TRAILING_SPACES);
    EXPECT_EQ(RTNetParseIPv4Ex(nullptr, ab, nullptr), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTNetParseIPv4Ex("1.2.3.4", reinterpret_cast<uint8_t *>(16), nullptr), ERR_BAD_ARGUMENT);
}

TEST(NetParse, IPv4Cidr)
{
    struct Case { const char *psz; RTSTATUS rc; uint32_t uAddr, uMask; };
    const Case aCases[] =
    {
        { "192.168.1.0/24", INF_SUCCESS, 0xC0A80100, 0xFFFFFF00 },
        { "10/8",           INF_SUCCESS, 0x0A000000, 0xFF000000 },
        { "10.1/16",        INF_SUCCESS, 0x0A010000, 0xFFFF0000 },
        { "1.2.3.4",        INF_SUCCESS, 0x01020304, 0xFFFFFFFF },
        { "0.0.0.0/0",      INF_SUCCESS, 0,          0 },
        { "192.168.1.1/24", ERR_BAD_ARGUMENT },  /* host bits */
        { "10/16",          ERR_BAD_ARGUMENT },  /* two parts needed */
        { "0.0.0.0",        ERR_BAD_ARGUMENT },
        { "0.1.2.3/8",      ERR_BAD_ARGUMENT },
        { "1.2.3.4/33",     ERR_BAD_ARGUMENT },
        { "1.2.3.4/24x",    ERR_BAD_ARGUMENT },
        { "1.2.3.4/",       ERR_BAD_ARGUMENT },
        { "1.2.3.4.5",      ERR_BAD_ARGUMENT },
        { "1.2.3.256",      ERR_BAD_ARGUMENT },
        { "1.2.3.4 /32",    ERR_BAD_ARGUMENT },
        { "/8",             ERR_BAD_ARGUMENT },
    };
    for (const auto &c : aCases)
    {
        SCOPED_TRACE(c.psz);
        uint32_t uAddr = 1, uMask = 1;
        EXPECT_EQ(RTNetParseIPv4Cidr(c.psz, &uAddr, &uMask), c.rc);
        if (c.rc == INF_SUCCESS)
        {
            EXPECT_EQ(uAddr, c.uAddr);
            EXPECT_EQ(uMask, c.uMask);
        }
    }
}

TEST(NetParse, Mac)
{
    struct Case { const char *psz; RTSTATUS rc; const char *pszBytes; };
    const Case aCases[] =
    {
        { "00:1A:2b:3C:4d:5E",  INF_SUCCESS, "\x00\x1a\x2b\x3c\x4d\x5e" },
        { "001a2b3c4d5e",       INF_SUCCESS, "\x00\x1a\x2b\x3c\x4d\x5e" },
        { "001a2b3c4d5e \r\n",  INF_SUCCESS, "\x00\x1a\x2b\x3c\x4d\x5e" },
        { "0:1::3:4:5",         INF_SUCCESS, "\x00\x01\x00\x03\x04\x05" },
        { " 0:1:2:3:4:5\t",     INF_SUCCESS, "\x00\x01\x02\x03\x04\x05" },
        { "00:11:22:33:44:556", ERR_BAD_ARGUMENT },
        { "00-11-22-33-44-55",  ERR_BAD_ARGUMENT },
        { "001a2b3c4d5ex",      ERR_BAD_ARGUMENT },
        { ":1:2:3:4:5",         ERR_BAD_ARGUMENT },
        { "0:1:2:3:4:",         ERR_NO_DIGITS_FOUND },
        { "0:1:2:3:4",          ERR_BAD_ARGUMENT },
        { "0:1:2:3:4:5:6",      ERR_BAD_ARGUMENT },
        { "",                   ERR_BAD_ARGUMENT },
    };
    for (const auto &c : aCases)
    {
        SCOPED_TRACE(c.psz);
        uint8_t ab[8];
        memset(ab, 0xEE, sizeof(ab));
        EXPECT_EQ(RTNetParseMac(c.psz, ab), c.rc);
        if (c.pszBytes)
            EXPECT_EQ(memcmp(ab, c.pszBytes, 6), 0);
        EXPECT_EQ(ab[6], 0xEE);
        EXPECT_EQ(ab[7], 0xEE);
    }
}

namespace {

typedef INT (WSAAPI *PFNINETPTON)(INT, PCSTR, PVOID);

std::string RandomAddressText(std::mt19937 &rng)
{
    static const char s_achAlphabet[] = "0123456789.. x+-";
    std::string s;
    if (rng() % 2)
    {
        /* Mostly well-formed: four parts of one to four digits. */
        for (int i = 0; i < 4; i++)
        {
            if (i)
                s += '.';
            int cDigits = 1 + rng() % (rng() % 8 ? 3 : 4);
            for (int j = 0; j < cDigits; j++)
                s += static_cast<char>('0' + rng() % 10);
        }
        if (rng() % 10 == 0)
            s.insert(rng() % (s.size() + 1), 1, s_achAlphabet[rng() % (sizeof(s_achAlphabet) - 1)]);
    }
    else
    {
        int cch = rng() % 18;
        for (int i = 0; i < cch; i++)
            s += s_achAlphabet[rng() % (sizeof(s_achAlphabet) - 1)];
    }
    return s;
}

} /* namespace */

/* Differences from inet_pton, by design: we read each part with the general number parser
 * in base 10, so a leading zero is a decimal digit ("010" is 10) and a leading '+' is a
 * sign; inet_pton refuses both. Trailing blanks after the last part are accepted. */
static bool IsKnownDifference(const std::string &s)
{
    if (s.find('+') != std::string::npos || (!s.empty() && s.back() == ' '))
        return true;
    size_t iPart = 0;
    while (iPart < s.size())
    {
        size_t iEnd = s.find('.', iPart);
        if (iEnd == std::string::npos)
            iEnd = s.size();
        if (iEnd - iPart > 1 && s[iPart] == '0')
            return true;
        iPart = iEnd + 1;
    }
    return false;
}

TEST(NetParse, IPv4AgreesWithInetPton)
{
    HMODULE hMod = LoadLibraryW(L"ws2_32.dll");
    ASSERT_NE(hMod, nullptr);
    auto pfnInetPton = reinterpret_cast<PFNINETPTON>(GetProcAddress(hMod, "inet_pton"));
    ASSERT_NE(pfnInetPton, nullptr);

    std::mt19937 rng(1234);
    std::vector<std::string> texts = { "1.2.3.4", "255.255.255.255", "0.0.0.0", "256.1.1.1",
                                       "1.2.3", "1.2.3.4.5", "01.2.3.4", "+1.2.3.4", " 1.2.3.4" };
    for (int i = 0; i < 4000; i++)
        texts.push_back(RandomAddressText(rng));

    int cCompared = 0;
    for (const auto &s : texts)
    {
        if (IsKnownDifference(s) || (!s.empty() && s.front() == ' '))
            continue;
        uint8_t abOurs[4] = {}, abTheirs[4] = {};
        bool const fOurs = RTNetParseIPv4Ex(s.c_str(), abOurs, nullptr) == INF_SUCCESS;
        bool const fTheirs = pfnInetPton(AF_INET, s.c_str(), abTheirs) == 1;
        EXPECT_EQ(fOurs, fTheirs) << "'" << s << "'";
        if (fOurs && fTheirs)
            EXPECT_EQ(memcmp(abOurs, abTheirs, 4), 0) << "'" << s << "'";
        cCompared++;
    }
    EXPECT_GT(cCompared, 2000);
    FreeLibrary(hMod);
}
