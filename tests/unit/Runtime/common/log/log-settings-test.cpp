/* The settings languages as tables of texts and the state they leave, each text placed
 * right before an inaccessible page so that a read past its terminator faults; and the
 * environment variables read at creation, in a child process that starts with no logger. */
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "rt/log.h"
#include "internal/log.h"
#include "process-runner.h"
#include "scratch-dir.h"

namespace {

/** A copy of a text whose terminator is the last readable byte before a guard page. */
class GuardedText
{
public:
    explicit GuardedText(const std::string &text)
    {
        SYSTEM_INFO Info;
        GetSystemInfo(&Info);
        m_cbPage = Info.dwPageSize;
        m_pb = static_cast<char *>(VirtualAlloc(nullptr, 2 * m_cbPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD fOld;
        VirtualProtect(m_pb + m_cbPage, m_cbPage, PAGE_NOACCESS, &fOld);
        m_psz = m_pb + m_cbPage - text.size() - 1;
        memcpy(m_psz, text.c_str(), text.size() + 1);
    }
    ~GuardedText() { VirtualFree(m_pb, 0, MEM_RELEASE); }
    const char *c_str() const { return m_psz; }

private:
    size_t m_cbPage;
    char  *m_pb;
    char  *m_psz;
};

const char * const g_apszNames[] = { "dev_a", "DEV_B", "other", "mygroup", nullptr };
constexpr uint32_t kGroups = RT_ELEMENTS(g_apszNames);

/** A lockless instance without destinations, whose fields the cases inspect. */
struct BareLogger
{
    RTLOGINSTANCE *p = nullptr;
    BareLogger()
    {
        EXPECT_EQ(RTLogInstanceCreate(&p, nullptr, 0, RTLOGFLAGS2_NO_LOCK, nullptr, kGroups, g_apszNames, 0, 0,
                                      nullptr, 0, nullptr, 0, 0, 0, nullptr, nullptr, nullptr, nullptr),
                  INF_SUCCESS);
    }
    ~BareLogger() { RTLogInstanceDestroy(p); }
};

} /* namespace */

TEST(LogSettings, GroupTexts)
{
    constexpr uint32_t kAll = 0xFFFFFFFF;
    struct Case
    {
        const char *pszText;
        uint32_t    afBefore[kGroups];
        uint32_t    afAfter[kGroups];
    };
    static const Case s_aCases[] =
    {
        { "-all +dev_*.l3",   { 0x11, 0x11, 0x11, 0x11, 0x11 }, { 0x40, 0x40, 0, 0, 0 } },
        { "mygroup=0x5",      { 0, 0, 0, 0x100, 0 },            { 0, 0, 0, 0x105, 0 } },
        { "mygroup=~0",       { 0, 0, 0, 0x100, 0 },            { 0, 0, 0, kAll, 0 } },
        { "-mygroup=~0",      { 0, 0, 0, 0xFFFF, 0 },           { 0, 0, 0, 0, 0 } },
        { "mygroup.l",        { 0, 0, 0, 0, 0 },                { 0, 0, 0, 0x20, 0 } },
        { "ALL",              { 0, 0, 0, 0, 0 },                { 0x11, 0x11, 0x11, 0x11, 0x11 } },
        { "all.eo.restrict",  { 0, 0, 0, 0, 0 },                { 0x40000001, 0x40000001, 0x40000001, 0x40000001, 0x40000001 } },
        { "allx",             { 0, 0, 0, 0, 0 },                { 0, 0, 0, 0, 0 } },
        { "d*_b",             { 0, 0, 0, 0, 0 },                { 0, 0x11, 0, 0, 0 } },
        { "*a m*p",           { 0, 0, 0, 0, 0 },                { 0x11, 0, 0, 0x11, 0 } },
        { "*",                { 0, 0, 0, 0, 0 },                { 0x11, 0x11, 0x11, 0x11, 0 } },
        { "dev_a.warn.flow",  { 0, 0, 0, 0, 0 },                { 0x6, 0, 0, 0, 0 } },
        { "dev_a.warnx",      { 0, 0, 0, 0, 0 },                { 0, 0, 0, 0, 0 } },
        { "dev_a.l12=0x3.f",  { 0, 0, 0, 0, 0 },                { 0x3 | 0x2, 0, 0, 0, 0 } },
        { "dev_a;other",      { 0, 0, 0, 0, 0 },                { 0, 0, 0, 0, 0 } },
        { " ;+other\t-dev_a", { 0x11, 0, 0, 0, 0 },             { 0, 0, 0x11, 0, 0 } },
        /* Texts that end inside a suffix. */
        { "dev_a=",           { 0, 0, 0, 0, 0 },                { 0, 0, 0, 0, 0 } },
        { "dev_a.",           { 0, 0, 0, 0, 0 },                { 0, 0, 0, 0, 0 } },
        { "dev_a=~",          { 0, 0, 0, 0, 0 },                { kAll, 0, 0, 0, 0 } },
        { "-",                { 0x11, 0, 0, 0, 0 },             { 0x11, 0, 0, 0, 0 } },
    };
    for (const Case &c : s_aCases)
    {
        SCOPED_TRACE(c.pszText);
        BareLogger log;
        memcpy(log.p->afGroups, c.afBefore, sizeof(c.afBefore));
        GuardedText text(c.pszText);
        ASSERT_EQ(RTLogApplyGroupSettings(log.p, text.c_str()), INF_SUCCESS);
        EXPECT_EQ(std::vector<uint32_t>(log.p->afGroups, log.p->afGroups + kGroups),
                  std::vector<uint32_t>(c.afAfter, c.afAfter + kGroups));
    }
}

TEST(LogSettings, FlagTexts)
{
    struct Case
    {
        const char *pszText;
        uint32_t    fBefore;
        uint32_t    fAfter;
        uint32_t    fDest;
    };
    static const Case s_aCases[] =
    {
        { "nobuffered usecrlf", RTLOGFLAGS_BUFFERED, RTLOGFLAGS_USECRLF, 0 },
        { "+buffered",          RTLOGFLAGS_BUFFERED, 0, 0 },
        { "xtid",               0, RTLOGFLAGS_PREFIX_TID, 0 },
        { "timeprog tsc;flagno groupno", 0,
          RTLOGFLAGS_PREFIX_TIME_PROG | RTLOGFLAGS_PREFIX_TSC | RTLOGFLAGS_PREFIX_FLAG_NO | RTLOGFLAGS_PREFIX_GROUP_NO, 0 },
        { "time ts flag group", 0,
          RTLOGFLAGS_PREFIX_TIME | RTLOGFLAGS_PREFIX_TS | RTLOGFLAGS_PREFIX_FLAG | RTLOGFLAGS_PREFIX_GROUP, 0 },
        { "enabled",            RTLOGFLAGS_DISABLED, 0, 0 },
        { "nonodisabled",       0, RTLOGFLAGS_DISABLED, 0 },
        { "-!hex",              RTLOGFLAGS_DECIMAL_TS, 0, 0 },
        { "~hex",               0, RTLOGFLAGS_DECIMAL_TS, 0 },
        { "writethrough; writethru ;flush", 0, RTLOGFLAGS_WRITE_THROUGH | RTLOGFLAGS_FLUSH, 0 },
        { "hex abs uself unbuffered overwrite",
          RTLOGFLAGS_DECIMAL_TS | RTLOGFLAGS_REL_TS | RTLOGFLAGS_USECRLF | RTLOGFLAGS_BUFFERED | RTLOGFLAGS_APPEND, 0, 0 },
        { "dec rel append lockcnts cpuid pid thread custom msprog", 0,
          RTLOGFLAGS_DECIMAL_TS | RTLOGFLAGS_REL_TS | RTLOGFLAGS_APPEND | RTLOGFLAGS_PREFIX_LOCK_CNTS
          | RTLOGFLAGS_PREFIX_CPUID | RTLOGFLAGS_PREFIX_PID | RTLOGFLAGS_PREFIX_THREAD | RTLOGFLAGS_PREFIX_CUSTOM
          | RTLOGFLAGS_PREFIX_MS_PROG, 0 },
        /* A fixed file keeps its mode. */
        { "append",             0, 0, RTLOGDEST_FIXED_FILE },
        { "overwrite",          RTLOGFLAGS_APPEND, RTLOGFLAGS_APPEND, RTLOGDEST_FIXED_FILE },
        /* Texts that are only negations. */
        { "no",                 RTLOGFLAGS_BUFFERED, RTLOGFLAGS_BUFFERED, 0 },
        { "-",                  RTLOGFLAGS_BUFFERED, RTLOGFLAGS_BUFFERED, 0 },
        { "+",                  RTLOGFLAGS_BUFFERED, RTLOGFLAGS_BUFFERED, 0 },
        { "pid no",             0, RTLOGFLAGS_PREFIX_PID, 0 },
        { "n",                  0, 0, 0 },
    };
    for (const Case &c : s_aCases)
    {
        SCOPED_TRACE(c.pszText);
        BareLogger log;
        log.p->fFlags = c.fBefore;
        log.p->fDestFlags = c.fDest;
        GuardedText text(c.pszText);
        EXPECT_EQ(RTLogApplyFlagSettings(log.p, text.c_str()), INF_SUCCESS);
        EXPECT_EQ(log.p->fFlags, c.fAfter);
    }
}

TEST(LogSettings, DestinationTexts)
{
    constexpr uint64_t kNone64 = ~uint64_t(0);
    constexpr uint32_t kNone32 = ~uint32_t(0);
    struct Case
    {
        const char *pszText;
        RTSTATUS    rc;
        uint32_t    fDest;
        const char *pszFile;
        uint32_t    cHistory;
        uint64_t    cbHistMax;
        uint32_t    cSecsSlot;
    };
    static const Case s_aCases[] =
    {
        { "nodeny",                       INF_SUCCESS, RTLOGDEST_F_NO_DENY, "", 0, kNone64, kNone32 },
        { "stdout nostdout",              INF_SUCCESS, 0, "", 0, kNone64, kNone32 },
        { "bogus",                        ERR_BAD_ARGUMENT, 0, "", 0, kNone64, kNone32 },
        { "stderr bogus stdout",          ERR_BAD_ARGUMENT, RTLOGDEST_STDERR, "", 0, kNone64, kNone32 },
        { "file=/tmp/a b.log stdout",     INF_SUCCESS, RTLOGDEST_FILE | RTLOGDEST_STDOUT, "/tmp/a b.log", 0, kNone64, kNone32 },
        { "file=a.log",                   INF_SUCCESS, RTLOGDEST_FILE, "a.log", 0, kNone64, kNone32 },
        { "file:b.log;stderr",            INF_SUCCESS, RTLOGDEST_FILE | RTLOGDEST_STDERR, "b.log", 0, kNone64, kNone32 },
        { "file=c d.log  ",               INF_SUCCESS, RTLOGDEST_FILE, "c d.log  ", 0, kNone64, kNone32 },
        { "file=x.log dir=C:\\logs\\",    INF_SUCCESS, RTLOGDEST_FILE, "C:\\logs/x.log", 0, kNone64, kNone32 },
        { "file=x.log dir=C:\\",          INF_SUCCESS, RTLOGDEST_FILE, "C:\\/x.log", 0, kNone64, kNone32 },
        { "history=1048576 stdout",       ERR_OUT_OF_RANGE, 0, "", 0, kNone64, kNone32 },
        { "history=0x100000000",          ERR_OUT_OF_RANGE, 0, "", 0, kNone64, kNone32 },
        { "history=1048575 stdout",       INF_SUCCESS, RTLOGDEST_STDOUT, "", 1048575, kNone64, kNone32 },
        { "history=3;stderr",             INF_SUCCESS, RTLOGDEST_STDERR, "", 3, kNone64, kNone32 },
        { "history=2 histsize=0x100 histtime:60", INF_SUCCESS, 0, "", 2, 0x100, 60 },
        { "histsize=0 histtime=0",        INF_SUCCESS, 0, "", 0, kNone64, kNone32 },
        { "history=abc",                  ERR_NO_DIGITS_FOUND, 0, "", 0, kNone64, kNone32 },
        { "stdout=1",                     ERR_BAD_ARGUMENT, RTLOGDEST_STDOUT, "", 0, kNone64, kNone32 },
        { "nofile=x",                     ERR_BAD_ARGUMENT, 0, "", 0, kNone64, kNone32 },
        { "noringbuf=5",                  ERR_BAD_ARGUMENT, 0, "", 0, kNone64, kNone32 },
        { "vmmrel vmm user com debugger", INF_SUCCESS,
          RTLOGDEST_VMM_REL | RTLOGDEST_VMM | RTLOGDEST_USER | RTLOGDEST_COM | RTLOGDEST_DEBUGGER, "", 0, kNone64, kNone32 },
        /* Texts that end right after a keyword, a value or a negation. */
        { "no",                           ERR_BAD_ARGUMENT, 0, "", 0, kNone64, kNone32 },
        { "file=",                        INF_SUCCESS, RTLOGDEST_FILE, "", 0, kNone64, kNone32 },
        { "stdout ",                      INF_SUCCESS, RTLOGDEST_STDOUT, "", 0, kNone64, kNone32 },
    };
    for (const Case &c : s_aCases)
    {
        SCOPED_TRACE(c.pszText);
        BareLogger log;
        log.p->cHistory = 0;
        GuardedText text(c.pszText);
        EXPECT_EQ(RTLogApplyDestSettings(log.p, text.c_str()), c.rc);
        EXPECT_EQ(log.p->fDestFlags, c.fDest);
        EXPECT_STREQ(log.p->szFilename, c.pszFile);
        EXPECT_EQ(log.p->cHistory, c.cHistory);
        EXPECT_EQ(log.p->cbHistoryFileMax, c.cbHistMax);
        EXPECT_EQ(log.p->cSecsHistoryTimeSlot, c.cSecsSlot);
    }

    /* Fixed names and over-long values. */
    BareLogger log;
    log.p->fDestFlags = RTLOGDEST_FIXED_FILE | RTLOGDEST_FIXED_DIR;
    EXPECT_EQ(RTLogApplyDestSettings(log.p, "file=other.log dir=/elsewhere"), INF_SUCCESS);
    EXPECT_STREQ(log.p->szFilename, "");
    std::string const longName = "file=" + std::string(RTLOG_FILENAME_SIZE, 'n');
    log.p->fDestFlags = 0;
    EXPECT_EQ(RTLogApplyDestSettings(log.p, longName.c_str()), ERR_OUT_OF_RANGE);
    EXPECT_EQ(RTLogApplyDestSettings(log.p, ("history=" + std::string(RTLOG_FILENAME_SIZE, '1')).c_str()),
              ERR_BUFFER_TOO_SMALL);
}

TEST(LogSettings, RingSizesApplyOnceCreated)
{
    struct Case { const char *pszText; uint32_t cbRing; };
    static const Case s_aCases[] =
    {
        { "ringbuf=100", 4096 }, { "ringbuf=0", 0x80000 }, { "ringbuf=5000", 5056 },
        { "ringbuf", 0x80000 },
    };
    for (const Case &c : s_aCases)
    {
        SCOPED_TRACE(c.pszText);
        BareLogger log;
        EXPECT_EQ(RTLogApplyDestSettings(log.p, c.pszText), INF_SUCCESS);
        EXPECT_EQ(log.p->fDestFlags, RTLOGDEST_RINGBUF);
        EXPECT_EQ(log.p->cbRing, c.cbRing);
    }
}

/* The child: a process in which no logger exists yet (run only by the test below). */
TEST(LogSettings, DISABLED_EnvironmentChild)
{
    /* Before any instance: nothing is printed and nothing is created. */
    RTLogPrint(nullptr, nullptr, "nothing %d\n", 1);
    printf("hook=%d default=%d\n", g_pfnLogPrintV != nullptr, g_pLogDefault != nullptr);

    static const char * const s_apszNames[] = { "alpha", "beta" };
    RTLOGINSTANCE *p = nullptr;
    RTSTATUS const rc = RTLogInstanceCreate(&p, "NIMB_LOGT", RTLOGFLAGS_RESTRICT_GROUPS, RTLOGFLAGS2_NO_LOCK,
                                            "alpha", 2, s_apszNames, 7, 0, nullptr, 0, nullptr, 0, 0, 0, nullptr,
                                            nullptr, nullptr, nullptr);
    printf("rc=%d dest=%#x flags=%#x g0=%#x g1=%#x max=%u ring=%#x\n", rc, p->fDestFlags, p->fFlags,
           p->afGroups[0], p->afGroups[1], p->cMaxEntriesPerGroup, p->cbRing);
    fflush(stdout);
    RTLogInstanceDestroy(p);

    /* The default instance comes with the first print naming none. */
    RTLogPrintEx(nullptr, 0, RTLOG_NO_GROUP, "hello default\n");
    RTLogInstanceFlush(nullptr);
    printf("pid=%lu\n", GetCurrentProcessId());
}

/* The child above, run in a process of its own with the variables set. */
TEST(LogSettings, EnvironmentIsReadAtCreation)
{
    ScratchDir dir;
    wchar_t wszExe[MAX_PATH];
    GetModuleFileNameW(nullptr, wszExe, MAX_PATH);
    ProcessOptions opts;
    opts.currentDir = Widen(dir.path());
    opts.timeoutMs = 240000;    /* a second test program starting on a busy machine */
    opts.extraEnv = L"NIMB_LOGT_DEST=stderr ringbuf=8192\n"
                    L"NIMB_LOGT_FLAGS=usecrlf pid\n"
                    L"NIMB_LOGT=+beta.l3 -alpha.eo\n"
                    L"NIMB_LOGT_MAX_PER_GROUP=0x10\n"
                    L"NIMB_LOG_DEST=stdout\n"
                    L"NIMB_LOG_FLAGS=usecrlf\n";
    ProcessResult const r = RunProcess(wszExe, QuoteArg(wszExe) + L" --gtest_also_run_disabled_tests"
                                               L" --gtest_filter=LogSettings.DISABLED_EnvironmentChild", opts);
    ASSERT_TRUE(r.started);
    /* The child's printf lines reach the pipe through the C library's text mode: CR LF. */
    EXPECT_NE(r.out.find("hook=0 default=0\r\n"), std::string::npos) << r.out;
    /* The group argument first ("alpha": 0x11), then the variables; a ring size given
       during creation is ignored. */
    EXPECT_NE(r.out.find("rc=0 dest=0x24 flags=0x20410 g0=0x10 g1=0x40 max=16 ring=0x80000\r\n"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("Log created: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\r\nCommandline: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("hello default\r\n"), std::string::npos) << r.out;

    /* The default file, named after the time, the program and the process. */
    size_t const offPid = r.out.find("pid=");
    ASSERT_NE(offPid, std::string::npos);
    std::string const suffix = "-" + std::to_string(strtoul(r.out.c_str() + offPid + 4, nullptr, 10)) + ".log";
    WIN32_FIND_DATAW Find;
    HANDLE hFind = FindFirstFileW((Widen(dir.path()) + L"\\*.log").c_str(), &Find);
    ASSERT_NE(hFind, INVALID_HANDLE_VALUE);
    FindClose(hFind);
    std::string const name = Narrow(Find.cFileName);
    /* "YYYY-MM-DD-hh-mm-ss.hhh-", the program, then the suffix. */
    std::string const shape = "dddd-dd-dd-dd-dd-dd.ddd-";
    ASSERT_GT(name.size(), shape.size() + suffix.size()) << name;
    for (size_t i = 0; i < shape.size(); i++)
        EXPECT_TRUE(shape[i] == 'd' ? isdigit(static_cast<unsigned char>(name[i])) != 0 : name[i] == shape[i]) << name;
    EXPECT_EQ(name.substr(name.size() - suffix.size()), suffix) << name;
    std::string const content = ReadWholeFile(dir / name);
    EXPECT_EQ(content.rfind("Log created: ", 0), 0u) << content;
    EXPECT_NE(content.find("hello default\r\n"), std::string::npos) << content;
}
