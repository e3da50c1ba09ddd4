/* Status text table: lookup and packed-text expansion. */
#include <gtest/gtest.h>
#include <climits>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include "internal/err.h"
#include "status-test-output.h"

namespace {

std::string Expand(const RTERRPACKEDTEXT *pText, uint32_t off, uint32_t cb, size_t *pcch = nullptr)
{
    std::string out;
    size_t const cch = RTErrExpandText(pText, off, cb, CollectOutput, &out);
    if (pcch)
        *pcch = cch;
    return out;
}

struct ListedStatus
{
    std::string name;
    int         value;
    std::string message;
};

/* The list the tables are generated from, read back from the source tree. */
std::vector<ListedStatus> ReadStatusList()
{
    std::ifstream in("Z:" NIMB_SOURCE_DIR "/Runtime/common/string/status-list.txt");
    std::vector<ListedStatus> list;
    std::string line;
    while (std::getline(in, line))
    {
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        ListedStatus s;
        fields >> s.name >> s.value >> std::ws;
        std::getline(fields, s.message);
        list.push_back(s);
    }
    return list;
}

} /* namespace */

TEST(StatusText, EveryListedStatusExpandsToItsNameAndMessage)
{
    std::vector<ListedStatus> const list = ReadStatusList();
    ASSERT_FALSE(list.empty());
    EXPECT_EQ(list.size(), g_cRTErrEntries);
    for (const ListedStatus &s : list)
    {
        int const iEntry = RTErrFindEntry(s.value);
        ASSERT_GE(iEntry, 0) << s.name;
        EXPECT_EQ(g_aRTErrEntries[iEntry].iStatus, s.value);
        uint32_t off, cb;
        RTErrEntryGetName(&g_aRTErrEntries[iEntry], &off, &cb);
        EXPECT_EQ(Expand(&g_RTErrPackedText, off, cb), s.name);
        RTErrEntryGetMessage(&g_aRTErrEntries[iEntry], &off, &cb);
        EXPECT_EQ(Expand(&g_RTErrPackedText, off, cb), s.message);
    }
}

TEST(StatusText, TextsArePackedToAboutHalf)
{
    size_t cbPlain = 0;
    for (const ListedStatus &s : ReadStatusList())
        cbPlain += s.name.size() + s.message.size();
    EXPECT_LT(g_RTErrPackedText.cbArea, cbPlain * 6 / 10);
}

TEST(StatusText, FindEntryMissesValuesWithoutRow)
{
    for (uint32_t i = 1; i < g_cRTErrEntries; i++)
        ASSERT_LT(g_aRTErrEntries[i - 1].iStatus, g_aRTErrEntries[i].iStatus) << "row " << i;
    int const iFirst = g_aRTErrEntries[0].iStatus;
    int const iLast = g_aRTErrEntries[g_cRTErrEntries - 1].iStatus;
    /* 65534 shares its low 16 bits with ERR_BAD_ARGUMENT and must not be taken for it. */
    for (RTSTATUS rc : { iFirst - 1, iLast + 1, -12345, -1, 1, 65534, INT32_MIN, INT32_MAX })
        EXPECT_EQ(RTErrFindEntry(rc), -1) << rc;
}

/*
 * Expansion of a small hand-built area: two words whose plain text lies in the area
 * itself, a word that reaches past the end, a length-1 entry, and packed texts after them.
 */
namespace {

const uint8_t g_abArea[] =
{
    'H', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd',   /* 0: the words' plain text */
    0x80, 0x81, '!',                                         /* 11: "Hello world!" */
    0xFF, 'A', 0xFF, 0xC3, 0xA9, 0xFF, 0x80, 0xFF,           /* 14: escapes */
    0x80, 0x82, 0x80,                                        /* 22: a word out of range */
    0x83, 'x', 0xFF, 0xC3,                                   /* 25: length 1; cut sequence */
};
constexpr uint32_t g_cbArea = sizeof(g_abArea);

struct WordTable
{
    uint32_t au[256] = {};
    WordTable()
    {
        au[0x80] = (5u << 22) | 0;                  /* "Hello" */
        au[0x81] = (6u << 22) | 5;                  /* " world" */
        au[0x82] = (4u << 22) | (g_cbArea - 2);     /* reaches past the end */
        au[0x83] = (1u << 22) | 0;                  /* length 1: the byte itself */
        au[0xFF] = (5u << 22) | 0;                  /* "Hello", when 255 is a word */
    }
} const g_Words;


} /* namespace */

TEST(StatusText, WinFindEntry)
{
    EXPECT_EQ(RTErrWinFindEntry(0), 0);
    EXPECT_EQ(RTErrWinFindEntry(5), -1);
    EXPECT_EQ(RTErrWinFindEntry(0x80070000u), -1);
}

TEST(StatusText, ExpandText)
{
    struct Case { uint32_t cWords, off, cb; std::string want; };
    Case const aCases[] =
    {
        { 256, 11, 3, "Hello world!" },
        { 0,   11, 3, "\x80\x81!" },                            /* plain area */
        { 256, 14, 2, "HelloA" },                               /* 255 is a word */
        { 200, 14, 2, "A" },                                    /* 255 escapes ASCII */
        { 255, 16, 3, "\xC3\xA9" },                             /* ... and a UTF-8 sequence */
        { 200, 19, 2, "?" },                                    /* ... not a bad lead byte */
        { 200, 21, 1, "?" },                                    /* ... nor the end */
        { 200, 27, 2, "?" },                                    /* ... nor a cut sequence */
        { 256, 22, 3, "Hello" },                                /* stops at the bad word */
        { 256, 25, 2, "\x83x" },
        { 256, 0, 0, "" },
        { 256, g_cbArea, 0, "" },                               /* offset at the end */
        { 256, g_cbArea - 1, 2, "" },                           /* length past the end */
        { 0,   g_cbArea - 1, 2, "" },
        { 256, 0xFFFFFFFFu, 2, "" },                            /* offset + length wraps */
        { 256, 1, 0xFFFFFFFFu, "" },
    };
    for (const Case &c : aCases)
    {
        RTERRPACKEDTEXT const text = { g_abArea, g_cbArea, c.cWords, g_Words.au };
        size_t cch = 0;
        EXPECT_EQ(Expand(&text, c.off, c.cb, &cch), c.want) << c.cWords << " " << c.off << " " << c.cb;
        EXPECT_EQ(cch, c.want.size());
    }

    RTERRPACKEDTEXT const text = { g_abArea, g_cbArea, 256, g_Words.au };
    EXPECT_EQ(RTErrExpandText(&text, 11, 3, TakeNothing, nullptr), 0u);
}
