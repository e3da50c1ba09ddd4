/* UUIDs from text, with a differential check against the platform's UuidFromStringA. */
#include <gtest/gtest.h>
#include <windows.h>
#include <rpc.h>
#include <random>
#include <string>
#include "rt/strconv.h"

TEST(UuidParse, LayoutAndBraces)
{
    static const uint8_t s_abExpected[16] =
        { 0x67, 0x45, 0x23, 0x01, 0xab, 0x89, 0xef, 0xcd, 0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef };
    uint8_t ab[17];
    for (const char *psz : { "{01234567-89ab-cdef-0123-456789abcdef}", "01234567-89AB-CDEF-0123-456789ABCDEF" })
    {
        memset(ab, 0xEE, sizeof(ab));
        EXPECT_EQ(RTUuidParse(ab, psz), INF_SUCCESS) << psz;
        EXPECT_EQ(memcmp(ab, s_abExpected, 16), 0) << psz;
        EXPECT_EQ(ab[16], 0xEE);
    }
    for (const char *psz : { "{01234567-89ab-cdef-0123-456789abcdef", "01234567-89ab-cdef-0123-456789abcdef ",
                             "01234567-89ab-cdef-0123-456789abcdef}", "01234567089ab-cdef-0123-456789abcdef",
                             "0123456-789ab-cdef-0123-456789abcdef", "01234567-89ab-cdef-0123-456789abcdeg",
                             "01234567-89ab-cdef-0123", "" })
        EXPECT_EQ(RTUuidParse(ab, psz), ERR_UUID_MALFORMED) << psz;
    EXPECT_EQ(RTUuidParse(nullptr, "01234567-89ab-cdef-0123-456789abcdef"), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTUuidParse(ab, nullptr), ERR_BAD_ARGUMENT);
}

namespace {
typedef LONG (WINAPI *PFNUUIDFROMSTRINGA)(unsigned char *, UUID *);
}

/* Difference from UuidFromStringA, by design: it takes the bare form only, so braced texts
 * are compared without their braces; and it reads a null or empty text as the nil UUID,
 * which we refuse. */
TEST(UuidParse, AgreesWithUuidFromString)
{
    HMODULE hMod = LoadLibraryW(L"rpcrt4.dll");
    ASSERT_NE(hMod, nullptr);
    auto pfnUuidFromString = reinterpret_cast<PFNUUIDFROMSTRINGA>(GetProcAddress(hMod, "UuidFromStringA"));
    ASSERT_NE(pfnUuidFromString, nullptr);

    std::mt19937 rng(42);
    static const char s_achHex[] = "0123456789abcdefABCDEF";
    int cValid = 0;
    for (int i = 0; i < 3000; i++)
    {
        std::string s;
        for (int j = 0; j < 36; j++)
            s += (j == 8 || j == 13 || j == 18 || j == 23) ? '-' : s_achHex[rng() % 22];
        switch (rng() % 4)
        {
            case 0: s[rng() % s.size()] = "g-x 0"[rng() % 5]; break;      /* damage one character */
            case 1: s.erase(rng() % s.size(), 1); break;
            case 2: s.insert(rng() % (s.size() + 1), 1, s_achHex[rng() % 22]); break;
            default: break;
        }
        uint8_t abOurs[16] = {};
        UUID Theirs = {};
        bool const fOurs = RTUuidParse(abOurs, s.c_str()) == INF_SUCCESS;
        bool const fTheirs = pfnUuidFromString(reinterpret_cast<unsigned char *>(s.data()), &Theirs) == RPC_S_OK;
        EXPECT_EQ(fOurs, fTheirs) << s;
        if (fOurs && fTheirs)
        {
            EXPECT_EQ(memcmp(abOurs, &Theirs, 16), 0) << s;
            cValid++;
        }
    }
    EXPECT_GT(cValid, 500);
    FreeLibrary(hMod);
}
