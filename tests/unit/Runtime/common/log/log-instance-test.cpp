/* Logger instances writing to real files: groups and their limits, prefixes, line ends at
 * the scratch buffer's end, the ring and its resizes, history rotation on disk, the
 * default file name, and entry on records that are not live instances. */
#include <gtest/gtest.h>
#include <windows.h>
#include <regex>
#include <string>
#include <vector>
#include "rt/log.h"
#include "rt/assert.h"
#include "rt/err.h"
#include "internal/log.h"
#include "scratch-dir.h"

namespace {

const char * const g_apszTen[] = { "g0", "g1", "g2", "g3", "g4", "g5", "g6", "g7", "g8", "g9" };

/** An instance writing to @p path, destroyed (and so written out) by Close. */
struct FileLogger
{
    RTLOGINSTANCE *p = nullptr;
    RTSTATUS rc = ERR_BAD_ARGUMENT;

    FileLogger(const std::string &path, uint32_t fFlags, const char *pszGroups = nullptr, uint32_t cGroups = 0,
               const char * const *papszNames = nullptr, uint32_t cMax = 0, uint32_t fDest = RTLOGDEST_FILE,
               uint32_t cHistory = 0, uint64_t cbHistMax = 0, PFNRTLOGPHASE pfnPhase = nullptr,
               uint32_t cScratch = 0, RTLOGSCRATCH *paScratch = nullptr)
    {
        rc = RTLogInstanceCreate(&p, nullptr, fFlags, 0, pszGroups, cGroups, papszNames, cMax, cScratch, paScratch,
                                 fDest, pfnPhase, cHistory, cbHistMax, 0, nullptr, nullptr, nullptr, "%s",
                                 path.c_str());
    }
    ~FileLogger() { Close(); }
    void Close()
    {
        if (p)
            EXPECT_EQ(RTLogInstanceDestroy(p), INF_SUCCESS);
        p = nullptr;
    }
    RTSTATUS Print(uint32_t fFlags, uint32_t iGroup, const char *pszFormat, ...)
    {
        va_list args;
        va_start(args, pszFormat);
        RTSTATUS const rcPrint = RTLogPrintV(p, fFlags, iGroup, pszFormat, args);
        va_end(args);
        return rcPrint;
    }
};

std::string Crlf(const std::string &s)
{
    std::string r;
    for (char ch : s)
    {
        if (ch == '\n')
            r += '\r';
        r += ch;
    }
    return r;
}

} // namespace

TEST(LogGroups, UnknownIndexCountsAsGroupZeroAndFiltersApply)
{
    ScratchDir dir;
    std::string const path = dir / "groups.log";
    {
        FileLogger log(path, RTLOGFLAGS_PREFIX_FLAG | RTLOGFLAGS_PREFIX_GROUP_NO | RTLOGFLAGS_PREFIX_GROUP,
                       "g0.e g3.f", 10, g_apszTen);
        ASSERT_EQ(log.rc, INF_SUCCESS);
        EXPECT_EQ(log.Print(0x1, 9999, "unknown %d\n", 1), INF_SUCCESS);
        EXPECT_EQ(log.Print(0x4, 0, "warn level\n"), INF_SUCCESS);
        EXPECT_EQ(log.Print(0, RTLOG_NO_GROUP, "no group\n"), INF_SUCCESS);
        /* g3 has flow but not enabled; g5 nothing at all. */
        EXPECT_EQ(log.Print(0x2, 3, "skipped\n"), INF_LOG_SKIPPED);
        EXPECT_EQ(log.Print(0, 5, "skipped\n"), INF_LOG_SKIPPED);
        EXPECT_EQ(log.Print(0, 0, ""), INF_LOG_SKIPPED);
        ASSERT_EQ(RTLogApplyFlagSettings(log.p, "disabled"), INF_SUCCESS);
        EXPECT_EQ(log.Print(0, 0, "skipped\n"), INF_LOG_SKIPPED);
    }
    EXPECT_EQ(ReadWholeFile(path),
              "g0      000 enabled unknown 1\n"
              "g0      000 warn    warn level\n"
              "        -1   -------- no group\n");
}

TEST(LogGroups, GroupNumbersAboveThreeDigitsAreWrittenWhole)
{
    ScratchDir dir;
    std::string const path = dir / "wide.log";
    std::vector<const char *> const names(RTLOG_MAX_GROUPS, nullptr);
    {
        FileLogger log(path, RTLOGFLAGS_PREFIX_GROUP_NO, "all", RTLOG_MAX_GROUPS, names.data());
        ASSERT_EQ(log.rc, INF_SUCCESS);
        log.Print(0, 0x5, "five\n");
        log.Print(0, 0x1005, "not five\n");
        log.Print(0, RTLOG_MAX_GROUPS - 1, "last\n");
    }
    EXPECT_EQ(ReadWholeFile(path), "005 five\n1005 not five\n1ffe last\n");
}

TEST(LogGroups, RestrictedGroupsAreMutedAfterTheirLimit)
{
    ScratchDir dir;
    std::string const path = dir / "restrict.log";
    const char * const apszNames[] = { "free", "dev", nullptr };
    {
        FileLogger log(path, RTLOGFLAGS_RESTRICT_GROUPS, "all dev.restrict", 3, apszNames, 3);
        ASSERT_EQ(log.rc, INF_SUCCESS);
        /* A group without a name is restricted through its flag word. */
        ASSERT_EQ(RTLogApplyGroupSettings(log.p, "all=0x40000011"), INF_SUCCESS);
        ASSERT_EQ(RTLogApplyGroupSettings(log.p, "-free.restrict"), INF_SUCCESS);
        for (int i = 1; i <= 5; i++)
        {
            log.Print(0, 1, "dev %d\n", i);
            log.Print(0, 2, "anon %d\n", i);
            log.Print(0, 0, "free %d\n", i);
        }
    }
    EXPECT_EQ(ReadWholeFile(path),
              "dev 1\nanon 1\nfree 1\n"
              "dev 2\nanon 2\nfree 2\n"
              "dev 3\n3 messages from group dev (#1), muting it.\n"
              "anon 3\n3 messages from group #2, muting it.\nfree 3\n"
              "free 4\nfree 5\n");
}

TEST(LogScratch, CrLfSurvivesTheScratchBufferEnd)
{
    /* Lines whose newline lands on each of the last bytes of a 1 KiB scratch buffer, and
       lines longer than the buffer, buffered so that only a full buffer is written. */
    for (size_t cchLine : { 1019u, 1020u, 1021u, 1022u, 1023u, 1024u, 3000u })
    {
        SCOPED_TRACE(cchLine);
        ScratchDir dir;
        std::string const path = dir / "crlf.log";
        std::string const line = std::string(cchLine, 'a') + "\n";
        RTLOGSCRATCH Scratch = { RTLOGSCRATCH_MAGIC, 0, RTLOG_SCRATCH_MIN_SIZE, 0, nullptr, nullptr };
        {
            FileLogger log(path, RTLOGFLAGS_USECRLF | RTLOGFLAGS_BUFFERED, nullptr, 0, nullptr, 0, RTLOGDEST_FILE,
                           0, 0, nullptr, 1, &Scratch);
            ASSERT_EQ(log.rc, INF_SUCCESS);
            log.Print(0, RTLOG_NO_GROUP, "%s", line.c_str());
            log.Print(0, RTLOG_NO_GROUP, "b\nc\n");
            log.Print(0, RTLOG_NO_GROUP, "%s", line.c_str());
        }
        EXPECT_EQ(ReadWholeFile(path), Crlf(line + "b\nc\n" + line));
    }
}

TEST(LogScratch, PrefixesStartEveryLine)
{
    ScratchDir dir;
    std::string const path = dir / "prefix.log";
    {
        FileLogger log(path, RTLOGFLAGS_PREFIX_TID | RTLOGFLAGS_PREFIX_PID | RTLOGFLAGS_PREFIX_FLAG_NO
                             | RTLOGFLAGS_PREFIX_LOCK_CNTS);
        ASSERT_EQ(log.rc, INF_SUCCESS);
        log.Print(0x20, RTLOG_NO_GROUP, "one\ntwo");
        /* Without groups a group index has no flag word to be checked against. */
        EXPECT_EQ(log.Print(0x20, 3, " continued\n"), INF_SUCCESS);
    }
    char szPrefix[64];
    snprintf(szPrefix, sizeof(szPrefix), "%08lx %08lx ?/? 00000020 ", GetCurrentProcessId(), GetCurrentThreadId());
    std::string const prefix = szPrefix;
    EXPECT_EQ(ReadWholeFile(path), prefix + "one\n" + prefix + "two continued\n");
}

TEST(LogScratch, NumberColumnsKeepTheirWidths)
{
    ScratchDir dir;
    std::string const path = dir / "columns.log";
    {
        FileLogger log(path, RTLOGFLAGS_PREFIX_TS | RTLOGFLAGS_PREFIX_MS_PROG | RTLOGFLAGS_PREFIX_TIME
                             | RTLOGFLAGS_PREFIX_TIME_PROG | RTLOGFLAGS_PREFIX_CPUID);
        ASSERT_EQ(log.rc, INF_SUCCESS);
        log.Print(0, RTLOG_NO_GROUP, "hex\n");
        ASSERT_EQ(RTLogApplyFlagSettings(log.p, "dec"), INF_SUCCESS);
        log.Print(0, RTLOG_NO_GROUP, "dec\n");
    }
    /* Timestamp, milliseconds since start, wall clock, time since start, processor. */
    std::regex const columns("[0-9a-f]{16} [0-9]{9} [0-2][0-9]:[0-5][0-9]:[0-5][0-9]\\.[0-9]{6} "
                             "[0-9]{2}:[0-5][0-9]:[0-5][0-9]\\.[0-9]{6} [0-9a-f]{2} hex\n"
                             " *[1-9][0-9]* [0-9]{9} [0-2][0-9]:[0-5][0-9]:[0-5][0-9]\\.[0-9]{6} "
                             "[0-9]{2}:[0-5][0-9]:[0-5][0-9]\\.[0-9]{6} [0-9a-f]{2} dec\n");
    std::string const text = ReadWholeFile(path);
    EXPECT_TRUE(std::regex_match(text, columns)) << text;
    /* The decimal timestamp is blank-filled to 16 columns. */
    size_t const offDec = text.find('\n') + 1;
    EXPECT_EQ(text.find(' ', text.find_first_not_of(' ', offDec)), offDec + 16) << text;
}

namespace {

/** Creates an instance with a ring only and a file that receives ring flushes. */
struct RingLogger : FileLogger
{
    explicit RingLogger(const std::string &path)
        : FileLogger(path, 0, nullptr, 0, nullptr, 0, RTLOGDEST_FILE | RTLOGDEST_RINGBUF) {}
};

std::string Pattern(size_t cch)
{
    std::string s;
    for (size_t i = 0; i < cch; i++)
        s += static_cast<char>('A' + i % 23);
    return s;
}

} // namespace

TEST(LogRing, KeepsTheNewestTextAndFlushesItInOrder)
{
    ScratchDir dir;
    std::string const path = dir / "ring.log";
    size_t const cbArea = RTLOG_RING_MIN_SIZE - 2 * RTLOG_RING_MARKER_SIZE;
    std::string const big = Pattern(3 * cbArea + 1000);
    {
        RingLogger log(path);
        ASSERT_EQ(log.rc, INF_SUCCESS);
        ASSERT_EQ(RTLogApplyDestSettings(log.p, "ringbuf=100"), INF_SUCCESS);
        EXPECT_EQ(log.p->cbRing, RTLOG_RING_MIN_SIZE);
        log.Print(0, RTLOG_NO_GROUP, "first\n");
        log.Print(0, RTLOG_NO_GROUP, "second\n");
        EXPECT_EQ(ReadWholeFile(path), "");
        ASSERT_EQ(RTLogInstanceFlush(log.p), INF_SUCCESS);
        EXPECT_EQ(ReadWholeFile(path), "first\nsecond\n");
        ASSERT_EQ(RTLogInstanceFlush(log.p), INF_SUCCESS);      /* nothing new */
        log.Print(0, RTLOG_NO_GROUP, "%s", big.c_str());
        ASSERT_EQ(RTLogInstanceFlush(log.p), INF_SUCCESS);
    }
    EXPECT_EQ(ReadWholeFile(path), "first\nsecond\n\n*FLUSH RING BUF*\n" + big.substr(big.size() - (cbArea - 1)));
}

TEST(LogRing, ShrinkingKeepsTheNewestBytesOutOfTheEndMarker)
{
    uint32_t const cbOld = 2 * RTLOG_RING_MIN_SIZE;
    size_t const cbNewArea = RTLOG_RING_MIN_SIZE - 2 * RTLOG_RING_MARKER_SIZE;
    /* Cursors well inside, on the last byte of, just past, and far past the new area. */
    for (size_t cchBefore : { size_t(100), cbNewArea - 1, cbNewArea, size_t(cbOld - 200) })
    {
        SCOPED_TRACE(cchBefore);
        ScratchDir dir;
        std::string const path = dir / "resize.log";
        std::string const text = Pattern(cchBefore);
        {
            RingLogger log(path);
            ASSERT_EQ(log.rc, INF_SUCCESS);
            ASSERT_EQ(RTLogRingResize(log.p, cbOld, false), INF_SUCCESS);
            log.Print(0, RTLOG_NO_GROUP, "%s", text.c_str());
            ASSERT_EQ(RTLogRingResize(log.p, RTLOG_RING_MIN_SIZE, false), INF_SUCCESS);
            EXPECT_LT(log.p->pchRingCursor, log.p->pchRing + RTLOG_RING_MIN_SIZE - RTLOG_RING_MARKER_SIZE);
            log.Print(0, RTLOG_NO_GROUP, "XYZ");
            EXPECT_EQ(memcmp(log.p->pchRing + RTLOG_RING_MIN_SIZE - RTLOG_RING_MARKER_SIZE, "\0\0\0END RING BUF", 16), 0);
            ASSERT_EQ(RTLogInstanceFlush(log.p), INF_SUCCESS);
        }
        std::string const all = text + "XYZ";
        EXPECT_EQ(ReadWholeFile(path), all.size() < cbNewArea ? all
                                       : "\n*FLUSH RING BUF*\n" + all.substr(all.size() - (cbNewArea - 1)));
    }
}

namespace {

void RotationPhases(RTLOGINSTANCE *pLogger, uint32_t enmPhase, PFNRTLOGPHASEMSG pfnLog)
{
    if (enmPhase == RTLOGPHASE_PREROTATE)
        pfnLog(pLogger, "rotating out\n");
    else if (enmPhase == RTLOGPHASE_POSTROTATE)
        pfnLog(pLogger, "rotated in\n");
}

} // namespace

TEST(LogHistory, RotationWithTwoHistoryFilesRenamesAndDeletes)
{
    ScratchDir dir;
    std::string const path = dir / "h.log";
    for (const char *pszSuffix : { "", ".1", ".2", ".3", ".4", ".6" })
        ASSERT_TRUE(WriteWholeFile(path + pszSuffix, std::string("old") + pszSuffix));
    {
        FileLogger log(path, RTLOGFLAGS_APPEND, nullptr, 0, nullptr, 0, RTLOGDEST_FILE, 2, 64, RotationPhases);
        ASSERT_EQ(log.rc, INF_SUCCESS);
        EXPECT_EQ(ReadWholeFile(path + ".1"), "old.1");     /* small enough: no rotation yet */
        log.Print(0, RTLOG_NO_GROUP, "%s\n", std::string(70, 'x').c_str());
        log.Print(0, RTLOG_NO_GROUP, "fresh\n");
    }
    EXPECT_EQ(ReadWholeFile(path), "rotated in\nfresh\n");
    EXPECT_EQ(ReadWholeFile(path + ".1"), "old" + std::string(70, 'x') + "\nrotating out\n");
    EXPECT_EQ(ReadWholeFile(path + ".2"), "old.1");
    EXPECT_FALSE(PathExists(path + ".3"));
    EXPECT_FALSE(PathExists(path + ".4"));
    EXPECT_EQ(ReadWholeFile(path + ".6"), "old.6");     /* beyond the first gap */
}

TEST(LogHistory, OverwriteModeMovesTheOldLogIntoTheHistory)
{
    ScratchDir dir;
    std::string const path = dir / "o.log";
    ASSERT_TRUE(WriteWholeFile(path, "previous run"));
    ASSERT_TRUE(WriteWholeFile(path + ".1", "run before"));
    {
        FileLogger log(path, 0, nullptr, 0, nullptr, 0, RTLOGDEST_FILE, 2);
        ASSERT_EQ(log.rc, INF_SUCCESS);
        log.Print(0, RTLOG_NO_GROUP, "this run\n");
    }
    EXPECT_EQ(ReadWholeFile(path), "this run\n");
    EXPECT_EQ(ReadWholeFile(path + ".1"), "previous run");
    EXPECT_EQ(ReadWholeFile(path + ".2"), "run before");
}

TEST(LogFile, DelayedFileKeepsTheOldestHalfUntilOpened)
{
    ScratchDir dir;
    std::string const path = dir / "delay.log";
    RTLOGSCRATCH Scratch = { RTLOGSCRATCH_MAGIC, 0, RTLOG_SCRATCH_MIN_SIZE, 0, nullptr, nullptr };
    std::string const text = Pattern(400) + "\n";
    {
        FileLogger log(path, 0, nullptr, 0, nullptr, 0, RTLOGDEST_FILE | RTLOGDEST_F_DELAY_FILE, 0, 0, nullptr, 1,
                       &Scratch);
        ASSERT_EQ(log.rc, INF_SUCCESS);
        EXPECT_FALSE(PathExists(path));
        for (int i = 0; i < 3; i++)
            log.Print(0, RTLOG_NO_GROUP, "%s", text.c_str());
        ASSERT_EQ(RTLogClearFileDelayFlag(log.p, nullptr), INF_SUCCESS);
        log.Print(0, RTLOG_NO_GROUP, "after\n");
    }
    std::string const all = text + text + text;
    EXPECT_EQ(ReadWholeFile(path), all.substr(0, 512) + "\n[DROP DROP DROP]\n" + "after\n");
}

TEST(LogFile, DefaultNameFromTimeProgramAndProcessId)
{
    /* 2024-01-02 03:04:05.678 UTC: the name carries the hundredths of the second. */
    int64_t const i64Ns = INT64_C(1704164645678000000);
    char szName[RTLOG_FILENAME_SIZE];
    rtLogDefaultFileName(szName, sizeof(szName), i64Ns, "PROG", 1234);
    EXPECT_STREQ(szName, "./2024-01-02-03-04-05.067-PROG-1234.log");
}

TEST(LogEntry, RecordsThatAreNotLiveInstancesAreRefused)
{
    alignas(8) static uint8_t s_abFake[RTLOGINSTANCE_HDR_SIZE + 64];
    RTLOGINSTANCE *pFake = reinterpret_cast<RTLOGINSTANCE *>(s_abFake);
    va_list args = {};
    EXPECT_EQ(RTLogPrintV(reinterpret_cast<RTLOGINSTANCE *>(0x10), 0, 0, "x", args), ERR_BAD_POINTER);
    /* Garbage in every other field must not be read before the magic is checked. */
    memset(s_abFake, 0xA5, sizeof(s_abFake));
    pFake->u32Magic = RTLOGINSTANCE_MAGIC_DEAD;
    EXPECT_EQ(RTLogPrintV(pFake, 0, 0, "x", args), ERR_BAD_MAGIC);
    EXPECT_EQ(RTLogApplyDestSettings(pFake, "stdout"), ERR_BAD_MAGIC);
    pFake->u32Magic = RTLOGINSTANCE_MAGIC;
    pFake->uRevision = RTLOGINSTANCE_REVISION + 1;
    EXPECT_EQ(RTLogPrintV(pFake, 0, 0, "x", args), ERR_LOG_REVISION_MISMATCH);
    EXPECT_EQ(RTLogInstanceDestroy(pFake), ERR_LOG_REVISION_MISMATCH);
}

TEST(LogCreate, ArgumentsAreChecked)
{
    RTLOGINSTANCE *p = reinterpret_cast<RTLOGINSTANCE *>(1);
    auto const Create = [&](uint32_t cGroups, const char * const *papsz, uint32_t cHistory, uint32_t cScratch,
                            RTLOGSCRATCH *paScratch) {
        return RTLogInstanceCreate(&p, nullptr, 0, 0, nullptr, cGroups, papsz, 0, cScratch, paScratch, 0, nullptr,
                                   cHistory, 0, 0, nullptr, nullptr, nullptr, nullptr);
    };
    RTLOGSCRATCH Bad = { RTLOGSCRATCH_MAGIC + 1, 0, 4096, 0, nullptr, nullptr };
    RTLOGSCRATCH Small = { RTLOGSCRATCH_MAGIC, 0, 512, 0, nullptr, nullptr };
    RTLOGSCRATCH Used = { RTLOGSCRATCH_MAGIC, 0, 4096, 5, nullptr, nullptr };
    EXPECT_EQ(Create(3, nullptr, 0, 0, nullptr), ERR_BAD_POINTER);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(Create(RTLOG_MAX_GROUPS + 1, g_apszTen, 0, 0, nullptr), ERR_OUT_OF_RANGE);
    EXPECT_EQ(Create(0, nullptr, RTLOG_MAX_HISTORY + 1, 0, nullptr), ERR_OUT_OF_RANGE);
    EXPECT_EQ(Create(0, nullptr, 0, RTLOG_MAX_SCRATCH_DESCS + 1, &Bad), ERR_OUT_OF_RANGE);
    EXPECT_EQ(Create(0, nullptr, 0, 1, &Bad), ERR_BAD_MAGIC);
    EXPECT_EQ(Create(0, nullptr, 0, 1, &Small), ERR_OUT_OF_RANGE);
    EXPECT_EQ(Create(0, nullptr, 0, 1, &Used), ERR_BAD_ARGUMENT);

    /* A file that cannot be opened fails creation with the reason. */
    ScratchDir dir;
    char szReason[256];
    RTERRINFO ErrInfo;
    RTErrInfoInit(&ErrInfo, szReason, sizeof(szReason));
    std::string const dirAsFile = dir.path();
    EXPECT_LT(RTLogInstanceCreate(&p, nullptr, RTLOGFLAGS_APPEND, 0, nullptr, 0, nullptr, 0, 0, nullptr, 0, nullptr,
                                  0, 0, 0, nullptr, nullptr, &ErrInfo, "%s\\missing\\x.log", dirAsFile.c_str()), 0);
    EXPECT_EQ(p, nullptr);
}

namespace {

void CallDetailHook(const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    g_pfnAssertDetailHook(pszFormat, args);
    va_end(args);
}

} // namespace

TEST(LogAssertHooks, ReportsReachTheReleaseInstanceAtOnce)
{
    ASSERT_NE(g_pfnAssertLocationHook, nullptr);
    ASSERT_NE(g_pfnAssertDetailHook, nullptr);
    ScratchDir dir;
    std::string const path = dir / "assert.log";
    FileLogger log(path, RTLOGFLAGS_BUFFERED);
    ASSERT_EQ(log.rc, INF_SUCCESS);
    RTLOGINSTANCE *const pSavedDefault = g_pLogDefault;
    g_pLogDefault = nullptr;
    g_pLogRelease = log.p;
    g_pfnAssertLocationHook("Assertion failed: %s at %s(%d) %s\n", "x == 1", "f.cpp", 12, "Fn");
    CallDetailHook("detail %d\n", 7);
    g_pLogRelease = nullptr;
    g_pLogDefault = pSavedDefault;
    /* Buffered, yet already in the file: each report is flushed right away. */
    EXPECT_EQ(ReadWholeFile(path), "Assertion failed: x == 1 at f.cpp(12) Fn\ndetail 7\n");
}
