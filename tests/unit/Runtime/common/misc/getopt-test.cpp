/* The option parser: a table of option descriptors driven over argument vectors, each case
 * listing the results RTGetOptNext returns in order. */
#include <gtest/gtest.h>
#include <algorithm>
#include <string>
#include <vector>
#include "rt/getopt.h"

namespace {

const RTOPTDESC g_aDescs[] =
{
    { "--path",    'p', OPTVAL_STRING },
    { "-path",     'p', OPTVAL_STRING },
    { "--extract", 'x', OPTVAL_NONE },
    { "--silent",  's', OPTVAL_NONE },
    { "--verbose", 'v', OPTVAL_NONE },
    { "--level",   'l', OPTVAL_U8 },
    { "--count",   'c', OPTVAL_I32 | OPTF_HEX },
    { "--dec",     'd', OPTVAL_U8 | OPTF_DEC },
    { "--flag",    'f', OPTVAL_BOOL },
    { "--power",   'P', OPTVAL_ONOFF },
    { "--disk",    'k', OPTVAL_STRING | OPTF_INDEXED | OPTF_INDEX_DASH },
    { "--slot",    'S', OPTVAL_U32 | OPTF_INDEXED | OPTF_INDEX_DEFAULT_1 },
    { "--nic",     'n', OPTVAL_NONE | OPTF_INDEXED },
    { "--Case",    'C', OPTVAL_NONE | OPTF_NOCASE },
    { "--range",   'r', OPTVAL_PAIR_U32 },
    { "--window",  'w', OPTVAL_PAIR_U64_OPT },
    { "--ip",      'i', OPTVAL_IPV4 },
    { "--net",     'N', OPTVAL_IPV4_CIDR },
    { "--mac",     'm', OPTVAL_MAC },
    { "--uuid",    'u', OPTVAL_UUID },
    { "--bad",     'B', 12 },
    { "--badbase", 'b', OPTVAL_STRING | OPTF_HEX },
};

/** One result of RTGetOptNext, rendered as text so a case reads as a line. */
std::string Render(int rc, const RTOPTVALUE &Value, const RTOPTPARSER &State)
{
    if (rc == 0)
        return "end";
    if (rc == INF_OPTION_PLAIN_ARGUMENT)
        return std::string("plain:") + Value.psz;
    if (rc == ERR_OPTION_UNKNOWN)
        return std::string("unknown:") + Value.psz;
    if (rc < 0)
        return "rc:" + std::to_string(rc);
    std::string s(1, static_cast<char>(rc));
    const RTOPTDESC *pDesc = State.pLastDesc;
    if (State.iOptIndex != UINT32_MAX)
        s += "#" + std::to_string(State.iOptIndex);
    switch (pDesc->fKind & OPTVAL_TYPE_MASK)
    {
        case OPTVAL_STRING: s += "=" + std::string(Value.psz); break;
        case OPTVAL_U8:     s += "=" + std::to_string(Value.u8); break;
        case OPTVAL_I32:    s += "=" + std::to_string(Value.i32); break;
        case OPTVAL_U32:    s += "=" + std::to_string(Value.u32); break;
        case OPTVAL_BOOL:
        case OPTVAL_ONOFF:  s += Value.f ? "=true" : "=false"; break;
        case OPTVAL_PAIR_U32:
            s += "=" + std::to_string(Value.PairU32.uFirst) + "," + std::to_string(Value.PairU32.uSecond);
            break;
        case OPTVAL_PAIR_U64_OPT:
            s += "=" + std::to_string(Value.PairU64.uFirst) + "," + std::to_string(Value.PairU64.uSecond);
            break;
        case OPTVAL_IPV4:
        {
            char sz[32];
            snprintf(sz, sizeof(sz), "=%u.%u.%u.%u", Value.abIPv4[0], Value.abIPv4[1], Value.abIPv4[2], Value.abIPv4[3]);
            s += sz;
            break;
        }
        case OPTVAL_IPV4_CIDR:
        {
            char sz[32];
            snprintf(sz, sizeof(sz), "=%08x/%08x", Value.CidrIPv4.uAddr, Value.CidrIPv4.uMask);
            s += sz;
            break;
        }
        case OPTVAL_MAC:
        {
            char sz[32];
            snprintf(sz, sizeof(sz), "=%02x%02x%02x%02x%02x%02x", Value.abMac[0], Value.abMac[1],
                     Value.abMac[2], Value.abMac[3], Value.abMac[4], Value.abMac[5]);
            s += sz;
            break;
        }
        case OPTVAL_UUID: s += "=" + std::to_string(Value.abUuid[0]) + ".." + std::to_string(Value.abUuid[15]); break;
        default: break;
    }
    return s;
}

struct ParseRun
{
    std::vector<std::string> results;
    std::vector<std::string> argv;  /**< the vector after parsing */
};

/** Parses @a args (after a program name) until the end or the first error. */
ParseRun Parse(std::vector<std::string> args, uint32_t fInit = 0, const RTOPTDESC *paDescs = g_aDescs,
          uint32_t cDescs = RT_ELEMENTS(g_aDescs))
{
    args.insert(args.begin(), "prog");
    std::vector<char *> argv;
    for (auto &s : args)
        argv.push_back(s.data());
    RTOPTPARSER State;
    EXPECT_EQ(RTGetOptInit(&State, (int)argv.size(), argv.data(), paDescs, cDescs, 1, fInit), INF_SUCCESS);
    ParseRun r;
    for (int i = 0; i < 64; i++)
    {
        RTOPTVALUE Value;
        int rc = RTGetOptNext(&State, &Value);
        r.results.push_back(Render(rc, Value, State));
        if (rc <= 0)
            break;
    }
    for (char *psz : argv)
        r.argv.push_back(psz);
    r.argv.erase(r.argv.begin());
    return r;
}

using Strings = std::vector<std::string>;

struct Case
{
    Strings  args;
    Strings  expected;
    uint32_t fInit = 0;
};

const std::string kMissing   = "rc:" + std::to_string(ERR_OPTION_VALUE_MISSING);
const std::string kMalformed = "rc:" + std::to_string(ERR_OPTION_VALUE_MALFORMED);
const std::string kNoIndex   = "rc:" + std::to_string(ERR_OPTION_INDEX_MISSING);
const std::string kInternal  = "rc:" + std::to_string(ERR_INTERNAL_FAULT);

} /* namespace */

TEST(GetOpt, Cases)
{
    const Case aCases[] =
    {
        /* values glued on or following */
        { { "--path=C:\\dir" },               { "p=C:\\dir", "end" } },
        { { "--path:C:\\dir" },               { "p=C:\\dir", "end" } },
        { { "--path", "C:\\dir", "x" },       { "p=C:\\dir", "plain:x", "end" } },
        { { "-path", "a b" },                 { "p=a b", "end" } },
        { { "--path" },                       { kMissing } },
        { { "--pathX" },                      { "unknown:--pathX" } },
        { { "--extractX" },                   { "unknown:--extractX" } },
        /* Unicode dashes: en dashes for '--', a minus sign for '-' */
        { { "\xE2\x80\x93\xE2\x80\x93" "extract" }, { "x", "end" } },
        { { "\xE2\x88\x92" "s" },             { "s", "end" } },
        { { "\xE2\x80\x93zzz" },          { "plain:\xE2\x80\x93zzz", "end" } },
        { { "\xE2\x80\x93zzz" },          { "unknown:\xE2\x80\x93zzz" }, OPTINIT_DEFER_PLAIN },
        /* the last dash of the set, and a character beside the dashes that is none */
        { { "\xEF\xBC\x8D" "s" },             { "s", "end" } },
        { { "\xE2\x80\x95" "s" },             { "plain:\xE2\x80\x95s", "end" } },
        /* short options and clusters */
        { { "-sv", "a" },                     { "s", "v", "plain:a", "end" } },
        { { "-px" },                          { "p=x", "end" } },
        { { "-p:x" },                         { "p=x", "end" } },
        { { "-sp", "val", "z" },              { "s", "p=val", "plain:z", "end" } },
        { { "-spval", "z" },                  { "s", "p=val", "plain:z", "end" } },
        { { "-sq" },                          { "s", "unknown:q" } },
        { { "-?" },                           { "h", "end" } },
        { { "--help", "-version" },           { "h", "V", "end" } },
        /* the end of the options */
        { { "--", "-s", "--" },               { "plain:-s", "plain:--", "end" } },
        { { "a", "-v", "b" },                 { "v", "plain:a", "plain:b", "end" }, OPTINIT_DEFER_PLAIN },
        { { "a", "--", "-v" },                { "plain:a", "plain:-v", "end" }, OPTINIT_DEFER_PLAIN },
        { { "a", "--path", "v", "b" },        { "p=v", "plain:a", "plain:b", "end" }, OPTINIT_DEFER_PLAIN },
        { { "a", "--path" },                  { kMissing }, OPTINIT_DEFER_PLAIN },
        { { "a", "-z" },                      { "unknown:-z" }, OPTINIT_DEFER_PLAIN },
        /* integers */
        { { "--level", "255" },               { "l=255", "end" } },
        { { "--level", "256" },               { kMalformed } },
        { { "--level", "-1" },                { kMalformed } },
        { { "--level=0x1F" },                 { "l=31", "end" } },
        { { "--dec=0x1F" },                   { kMalformed } },
        { { "--dec=31 " },                    { kMalformed } },
        { { "--count=0x10" },                 { "c=16", "end" } },
        { { "--count=-10" },                  { "c=-16", "end" } },
        /* booleans */
        { { "--flag=Dis" },                   { "f=false", "end" } },
        { { "--flag=EN", "--flag=yes" },      { "f=true", "f=true", "end" } },
        { { "--flag=ye" },                    { "unknown:ye" } },
        { { "--flag=tr" },                    { "unknown:tr" } },
        { { "--flag=" },                      { "unknown:" } },
        { { "--power=oFF", "--power=On" },    { "P=false", "P=true", "end" } },
        { { "--power=o" },                    { "unknown:o" } },
        /* indexed options */
        { { "--disk2=a", "--disk-3", "b" },   { "k#2=a", "k#3=b", "end" } },
        { { "--disk=a" },                     { kMalformed } },
        { { "--disk" },                       { kNoIndex } },
        { { "--slot", "7" },                  { "S#1=7", "end" } },
        { { "--slot=7", "--slot4:8" },        { "S#1=7", "S#4=8", "end" } },
        { { "--slot99999999999=1" },          { kMalformed } },
        { { "--nic12", "--nic" },             { "n#12", kNoIndex } },
        { { "--nicx" },                       { "unknown:--nicx" } },
        { { "--case", "--CASE" },             { "C", "C", "end" } },
        /* pairs and addresses */
        { { "--range=10/20", "--range", "0x10 : 0x20" }, { "r=10,20", "r=16,32", "end" } },
        { { "--range=10" },                   { kMalformed } },
        { { "--range=10/x" },                 { kMalformed } },
        { { "--window=5" },                   { "w=5,18446744073709551615", "end" } },
        { { "--window=5|6" },                 { "w=5,6", "end" } },
        { { "--ip= 10.0.0.1" },               { "i=10.0.0.1", "end" } },
        { { "--ip=10.0.0" },                  { kMalformed } },
        { { "--net=10/8" },                   { "N=0a000000/ff000000", "end" } },
        { { "--mac=0:1::3:4:5" },             { "m=000100030405", "end" } },
        { { "--uuid={01234567-89ab-cdef-0123-456789abcdef}" }, { "u=103..239", "end" } },
        { { "--uuid=0123" },                  { kMalformed } },
        /* table faults are reported, not guessed at */
        { { "--bad=1" },                      { kInternal } },
        { { "--badbase=1" },                  { kInternal } },
    };
    for (const auto &c : aCases)
    {
        std::string sArgs;
        for (const auto &s : c.args)
            sArgs += "[" + s + "] ";
        SCOPED_TRACE(sArgs);
        EXPECT_EQ(Parse(c.args, c.fInit).results, c.expected);
    }
}

TEST(GetOpt, DeferredPlainArgumentsMoveBehindTheOptions)
{
    ParseRun r = Parse({ "a", "-v", "b", "--path", "p", "c", "--", "-s", "d" }, OPTINIT_DEFER_PLAIN);
    EXPECT_EQ(r.results, (Strings{ "v", "p=p", "plain:a", "plain:b", "plain:c", "plain:-s", "plain:d", "end" }));
    EXPECT_EQ(r.argv, (Strings{ "-v", "--path", "p", "--", "a", "b", "c", "-s", "d" }));
}

TEST(GetOpt, BuiltinsCanBeTurnedOffOrOverridden)
{
    EXPECT_EQ(Parse({ "-?" }, OPTINIT_NO_BUILTIN).results, (Strings{ "unknown:-?" }));
    EXPECT_EQ(Parse({ "--help" }, OPTINIT_NO_BUILTIN).results, (Strings{ "unknown:--help" }));
    const RTOPTDESC aOwn[] = { { "/?", '?', OPTVAL_NONE } };
    EXPECT_EQ(Parse({ "-?", "/?" }, 0, aOwn, 1).results, (Strings{ "?", "?", "end" }));
}

TEST(GetOpt, InitAndInvalidUtf8)
{
    RTOPTPARSER State;
    char *apsz[] = { nullptr };
    EXPECT_EQ(RTGetOptInit(&State, 0, apsz, g_aDescs, 1, 0, 4), ERR_BAD_ARGUMENT);
    EXPECT_EQ(Parse({ "\xFF" "abc" }).results, (Strings{ "rc:" + std::to_string(ERR_UTF8_MALFORMED) }));
}

TEST(GetOpt, TakeValue)
{
    std::vector<std::string> args = { "prog", "a", "--range=1/2", "b", "c" };
    std::vector<char *> argv;
    for (auto &s : args)
        argv.push_back(s.data());
    RTOPTPARSER State;
    RTGetOptInit(&State, (int)argv.size(), argv.data(), g_aDescs, RT_ELEMENTS(g_aDescs), 1, OPTINIT_DEFER_PLAIN);
    RTOPTVALUE Value;
    ASSERT_EQ(RTGetOptNext(&State, &Value), 'r');
    /* The second value is the next argument after the option, taken from behind the
       set-aside plain argument "a", which stays plain. */
    EXPECT_EQ(RTGetOptTakeValue(&State, &Value, OPTVAL_STRING), INF_SUCCESS);
    EXPECT_STREQ(Value.psz, "b");
    EXPECT_EQ(RTGetOptTakeValue(&State, &Value, 0), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTGetOptTakeValue(&State, &Value, OPTVAL_STRING | 0x1000000), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTGetOptTakeValue(&State, &Value, OPTVAL_U8), ERR_OPTION_VALUE_MALFORMED);
    EXPECT_EQ(Value.pDesc, &g_aDescs[14]);
    /* Nothing is left but the set-aside "a": it is not a value. */
    EXPECT_EQ(RTGetOptTakeValue(&State, &Value, OPTVAL_STRING), ERR_OPTION_VALUE_MISSING);
    EXPECT_EQ(RTGetOptNext(&State, &Value), INF_OPTION_PLAIN_ARGUMENT);
    EXPECT_STREQ(Value.psz, "a");
}

TEST(GetOpt, RandomCommandLinesNeverFault)
{
    static const char *const s_apszPieces[] =
    {
        "--path", "-p", "--path=", "-sv", "-spx", "--", "-", "a", "--level", "300", "--disk-2", "--slot",
        "--flag=t", "\xE2\x80\x93", "=", ":", "--range", "1/", "--window=", "-?", "\xFF", "--nic1x", ""
    };
    unsigned uSeed = 7;
    for (int iRun = 0; iRun < 3000; iRun++)
    {
        std::vector<std::string> args = { "prog" };
        int cArgs = (uSeed = uSeed * 1103515245 + 12345) % 9;
        for (int i = 0; i < cArgs; i++)
        {
            uSeed = uSeed * 1103515245 + 12345;
            std::string s = s_apszPieces[(uSeed >> 8) % RT_ELEMENTS(s_apszPieces)];
            if ((uSeed >> 20) % 3 == 0)
                s += s_apszPieces[(uSeed >> 12) % RT_ELEMENTS(s_apszPieces)];
            args.push_back(s);
        }
        std::vector<std::string> sorted = args;
        std::vector<char *> argv;
        for (auto &s : args)
            argv.push_back(s.data());
        RTOPTPARSER State;
        RTGetOptInit(&State, (int)argv.size(), argv.data(), g_aDescs, RT_ELEMENTS(g_aDescs), 1,
                     iRun % 2 ? OPTINIT_DEFER_PLAIN : 0);
        int cCalls = 0;
        for (;;)
        {
            RTOPTVALUE Value;
            int rc = RTGetOptNext(&State, &Value);
            ASSERT_LT(++cCalls, 100) << "the parser must always make progress";
            if (rc <= 0)
                break;
        }
        /* Reordering never loses or duplicates an argument. */
        std::vector<std::string> after(argv.begin(), argv.end());
        std::sort(sorted.begin(), sorted.end());
        std::sort(after.begin(), after.end());
        ASSERT_EQ(sorted, after);
    }
}
