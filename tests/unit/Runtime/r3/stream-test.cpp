/* Streams opened on a path: mode strings, newline translation, full buffering until exit,
 * latched write errors, and bad arguments. */
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "rt/critsect.h"
#include "rt/file.h"
#include "rt/mem.h"
#include "rt/stream.h"
#include "scratch-dir.h"
#include "internal/stream.h"

namespace {

class StreamTest : public testing::Test
{
protected:
    void TearDown() override
    {
        RTStreamTerminate();    /* closes what the test opened, before the directory goes */
    }
    std::string Path(const char *pszName) const { return m_Dir / pszName; }
    std::string Read(const char *pszName) const { return ReadWholeFile(Path(pszName)); }
    void Write(const char *pszName, const std::string &s) const { WriteWholeFile(Path(pszName), s); }

    ScratchDir m_Dir;
};

} /* namespace */

TEST(StreamMode, Letters)
{
    struct Case { const char *pszMode; RTSTATUS rc; uint64_t fAccessAction; bool fBinary; bool fInherit; };
    const Case aCases[] =
    {
        { "r",   INF_SUCCESS, RTFOPEN_OPEN | RTFOPEN_READ,                              false, true },
        { "w",   INF_SUCCESS, RTFOPEN_CREATE_REPLACE | RTFOPEN_WRITE,                   false, true },
        { "rw",  INF_SUCCESS, RTFOPEN_CREATE_REPLACE | RTFOPEN_WRITE,                   false, true },
        { "wx",  INF_SUCCESS, RTFOPEN_CREATE | RTFOPEN_READWRITE,                       false, true },
        { "xw",  INF_SUCCESS, RTFOPEN_CREATE | RTFOPEN_READWRITE,                       false, true },
        { "a",   INF_SUCCESS, RTFOPEN_OPEN_CREATE | RTFOPEN_WRITE | RTFOPEN_APPEND,     false, true },
        { "ae",  INF_SUCCESS, RTFOPEN_OPEN_CREATE | RTFOPEN_WRITE | RTFOPEN_APPEND,     false, false },
        { "aNE", INF_SUCCESS, RTFOPEN_OPEN_CREATE | RTFOPEN_WRITE | RTFOPEN_APPEND,     false, true },
        { "r+",  INF_SUCCESS, RTFOPEN_OPEN | RTFOPEN_READWRITE,                         false, true },
        { "wbt", INF_SUCCESS, RTFOPEN_CREATE_REPLACE | RTFOPEN_WRITE,                   false, true },
        { "wtb", INF_SUCCESS, RTFOPEN_CREATE_REPLACE | RTFOPEN_WRITE,                   true,  true },
        { "",    ERR_BAD_FLAGS },
        { "b",   ERR_BAD_FLAGS },
        { "rx",  ERR_BAD_FLAGS },
        { "ax",  ERR_BAD_FLAGS },
        { "wq",  ERR_BAD_FLAGS },
        { "W",   ERR_BAD_FLAGS },
    };
    for (const auto &c : aCases)
    {
        SCOPED_TRACE(c.pszMode);
        uint64_t fOpen = 0;
        bool fBinary = false;
        ASSERT_EQ(rtStrmParseMode(c.pszMode, &fOpen, &fBinary), c.rc);
        if (c.rc != INF_SUCCESS)
            continue;
        EXPECT_EQ(fOpen & (RTFOPEN_ACTION_MASK | RTFOPEN_ACCESS_MASK | RTFOPEN_APPEND), c.fAccessAction);
        EXPECT_EQ(fBinary, c.fBinary);
        EXPECT_EQ((fOpen & RTFOPEN_INHERIT) != 0, c.fInherit);
        EXPECT_EQ(fOpen & RTFOPEN_SHARE_MASK, RTFOPEN_DENY_NONE);
        EXPECT_EQ((fOpen & RTFOPEN_CREATE_MODE) >> RTFOPEN_CREATE_MODE_SHIFT, 0666u);
    }
    uint64_t fOpen;
    bool fBinary;
    EXPECT_EQ(rtStrmParseMode(nullptr, &fOpen, &fBinary), ERR_BAD_FLAGS);
}

TEST_F(StreamTest, TextModeTranslatesAndWaitsForExit)
{
    PRTSTREAM pText = nullptr, pBinary = nullptr;
    ASSERT_EQ(RTStreamOpenPath(Path("text.txt").c_str(), "w", &pText), INF_SUCCESS);
    ASSERT_EQ(RTStreamOpenPath(Path("binary.txt").c_str(), "wb", &pBinary), INF_SUCCESS);
    EXPECT_EQ(RTStreamPrintf(pText, "a\nb%d\n\n%s", 7, "z\n"), 8);
    EXPECT_EQ(RTStreamPrintf(pBinary, "a\nb%d\n", 7), 5);
    /* fully buffered: nothing reaches the files before the exit routine */
    EXPECT_EQ(Read("text.txt"), "");
    RTStreamTerminate();
    EXPECT_EQ(Read("text.txt"), "a\r\nb7\r\n\r\nz\r\n");
    EXPECT_EQ(Read("binary.txt"), "a\nb7\n");
}

TEST_F(StreamTest, LargeOutputIsWrittenOutAsTheBufferFills)
{
    PRTSTREAM pStream = nullptr;
    ASSERT_EQ(RTStreamOpenPath(Path("big.txt").c_str(), "w", &pStream), INF_SUCCESS);
    std::string sLine(99, 'x');
    for (int i = 0; i < 1000; i++)
        RTStreamPrintf(pStream, "%s\n", sLine.c_str());
    size_t const cbNow = Read("big.txt").size();
    EXPECT_GE(cbNow, 65536u) << "written out as the buffer fills";
    EXPECT_LT(cbNow, 1000u * 101);
    RTStreamTerminate();
    EXPECT_EQ(Read("big.txt").size(), 1000u * 101);
}

TEST_F(StreamTest, AppendAndCreateOnly)
{
    Write("log.txt", "old\r\n");
    PRTSTREAM pStream = nullptr;
    ASSERT_EQ(RTStreamOpenPath(Path("log.txt").c_str(), "a", &pStream), INF_SUCCESS);
    RTStreamPrintf(pStream, "new\n");
    RTStreamTerminate();
    EXPECT_EQ(Read("log.txt"), "old\r\nnew\r\n");

    EXPECT_EQ(RTStreamOpenPath(Path("log.txt").c_str(), "wx", &pStream), ERR_NAME_TAKEN);
    EXPECT_EQ(pStream, nullptr);
    EXPECT_EQ(RTStreamOpenPath(Path("missing.txt").c_str(), "r", &pStream), ERR_FILE_MISSING);
    EXPECT_EQ(RTStreamOpenPath(nullptr, "w", &pStream), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTStreamOpenPath(Path("x.txt").c_str(), "z", &pStream), ERR_BAD_FLAGS);
}

TEST_F(StreamTest, WithoutALockTheWriteStillHappens)
{
    PRTSTREAM pStream = nullptr;
    ASSERT_EQ(RTStreamOpenPath(Path("nolock.txt").c_str(), "w", &pStream), INF_SUCCESS);
    /* The lock is made on first use; when it cannot be, the stream goes on without one. */
    g_pfnRTMemAllocHook = [](size_t cb) { return cb != sizeof(RTCRITSECT); };
    EXPECT_EQ(RTStreamPrintf(pStream, "x\n"), 2);
    EXPECT_EQ(RTStreamSetBuffering(pStream, RTSTREAMBUF_LINE), INF_SUCCESS);
    g_pfnRTMemAllocHook = nullptr;
    EXPECT_EQ(RTStreamPrintf(pStream, "y\n"), 2);
    RTStreamTerminate();
    EXPECT_EQ(Read("nolock.txt"), "x\r\ny\r\n");
}

TEST_F(StreamTest, WriteFailureIsLatched)
{
    Write("ro.txt", "");
    PRTSTREAM pStream = nullptr;
    ASSERT_EQ(RTStreamOpenPath(Path("ro.txt").c_str(), "r", &pStream), INF_SUCCESS);
    ASSERT_EQ(RTStreamSetBuffering(pStream, RTSTREAMBUF_NONE), INF_SUCCESS);
    EXPECT_EQ(RTStreamPrintf(pStream, "abc"), 3) << "the count is what was formatted";
    EXPECT_EQ(RTStreamGetStatus(pStream), ERR_ACCESS_REFUSED);
    EXPECT_EQ(RTStreamPrintf(pStream, "abc"), -1);
}

TEST(Stream, BadArguments)
{
    EXPECT_EQ(RTStreamPrintf(nullptr, "x"), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTStreamPrintf(reinterpret_cast<PRTSTREAM>(0x100), "x"), ERR_BAD_ARGUMENT);
    uint32_t au32Fake[32] = { 0x12345678 };
    EXPECT_EQ(RTStreamPrintf(reinterpret_cast<PRTSTREAM>(au32Fake), "x"), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTStreamSetBuffering(nullptr, RTSTREAMBUF_FULL), ERR_BAD_HANDLE);
    EXPECT_EQ(RTStreamSetBuffering(g_pStdOut, 0), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTStreamSetBuffering(g_pStdOut, 4), ERR_BAD_ARGUMENT);
}
