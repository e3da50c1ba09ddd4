/* Environment queries: present, empty and missing variables, long values that need a
 * heap buffer, buffers too small, the result ring, and the argument rules. */
#include <gtest/gtest.h>
#include <windows.h>
#include <cstring>
#include <string>
#include "rt/env.h"
#include "rt/mem.h"

namespace {

/** Sets a variable for one test and removes it afterwards. */
class ScopedVar
{
public:
    ScopedVar(const wchar_t *pwszName, const std::wstring &value) : m_name(pwszName)
    {
        EXPECT_TRUE(SetEnvironmentVariableW(pwszName, value.c_str()));
    }
    ~ScopedVar() { SetEnvironmentVariableW(m_name.c_str(), nullptr); }
private:
    std::wstring m_name;
};

} /* namespace */

TEST(Env, PresentEmptyAndMissingAreToldApart)
{
    ScopedVar present(L"NIMB_ENV_TEST_PRESENT", L"caf\u00e9 au lait");
    ScopedVar empty(L"NIMB_ENV_TEST_EMPTY", L"");
    SetEnvironmentVariableW(L"NIMB_ENV_TEST_MISSING", nullptr);

    char szBuf[64];
    size_t cch = 99;
    EXPECT_EQ(RTEnvQuery("NIMB_ENV_TEST_PRESENT", szBuf, sizeof(szBuf), &cch), INF_SUCCESS);
    EXPECT_STREQ(szBuf, "caf\xc3\xa9 au lait");
    EXPECT_EQ(cch, 13u);
    EXPECT_STREQ(RTEnvValue("NIMB_ENV_TEST_PRESENT"), "caf\xc3\xa9 au lait");

    memset(szBuf, '#', sizeof(szBuf));
    cch = 99;
    EXPECT_EQ(RTEnvQuery("NIMB_ENV_TEST_EMPTY", szBuf, sizeof(szBuf), &cch), INF_SUCCESS);
    EXPECT_EQ(cch, 0u);
    EXPECT_STREQ(szBuf, "");
    const char *pszEmpty = RTEnvValue("NIMB_ENV_TEST_EMPTY");
    ASSERT_NE(pszEmpty, nullptr);
    EXPECT_STREQ(pszEmpty, "");

    cch = 99;
    EXPECT_EQ(RTEnvQuery("NIMB_ENV_TEST_MISSING", szBuf, sizeof(szBuf), &cch), ERR_ENV_VARIABLE_MISSING);
    EXPECT_EQ(cch, 0u);
    EXPECT_EQ(RTEnvQuery("NIMB_ENV_TEST_MISSING", nullptr, 0, &cch), ERR_ENV_VARIABLE_MISSING);
    EXPECT_EQ(RTEnvValue("NIMB_ENV_TEST_MISSING"), nullptr);

    /* Measuring only. */
    EXPECT_EQ(RTEnvQuery("NIMB_ENV_TEST_PRESENT", nullptr, 0, &cch), INF_SUCCESS);
    EXPECT_EQ(cch, 13u);
    EXPECT_EQ(RTEnvQueryIn(RTENV_PROCESS, "NIMB_ENV_TEST_PRESENT", szBuf, sizeof(szBuf), nullptr), INF_SUCCESS);
    EXPECT_STREQ(szBuf, "caf\xc3\xa9 au lait");
}

TEST(Env, LongValuesAndSmallBuffers)
{
    /* Longer than the first stack buffer, and to the platform's maximum. */
    for (size_t cwc : { size_t(511), size_t(512), size_t(600), size_t(32766) })
    {
        std::wstring value(cwc, L'\u00e9');
        value[cwc - 1] = L'z';
        ScopedVar var(L"NIMB_ENV_TEST_LONG", value);
        size_t const cchExpected = 2 * (cwc - 1) + 1;
        std::string buf(cchExpected + 2, '#');
        size_t cch = 0;
        ASSERT_EQ(RTEnvQuery("NIMB_ENV_TEST_LONG", &buf[0], cchExpected + 1, &cch), INF_SUCCESS) << cwc;
        EXPECT_EQ(cch, cchExpected);
        EXPECT_EQ(strlen(buf.c_str()), cchExpected);
        EXPECT_EQ(buf[cchExpected - 1], 'z');
        EXPECT_EQ(buf[cchExpected + 1], '#');
        const char *psz = RTEnvValue("NIMB_ENV_TEST_LONG");
        ASSERT_NE(psz, nullptr);
        EXPECT_EQ(strlen(psz), cchExpected);

        /* One byte short: the terminator does not fit. */
        buf.assign(cchExpected + 2, '#');
        EXPECT_EQ(RTEnvQuery("NIMB_ENV_TEST_LONG", &buf[0], cchExpected, &cch), ERR_BUFFER_TOO_SMALL) << cwc;
        EXPECT_EQ(buf[cchExpected], '#');
    }
}

TEST(Env, HeapBufferFailure)
{
    ScopedVar var(L"NIMB_ENV_TEST_LONG", std::wstring(600, L'x'));
    g_pfnRTMemAllocHook = [](size_t cb) { return cb < 1000; };
    char szBuf[8];
    size_t cch;
    EXPECT_EQ(RTEnvQuery("NIMB_ENV_TEST_LONG", szBuf, sizeof(szBuf), &cch), ERR_SCRATCH_ALLOC_FAILED);
    const char *psz = RTEnvValue("NIMB_ENV_TEST_LONG");
    g_pfnRTMemAllocHook = nullptr;
    EXPECT_EQ(psz, nullptr);
}

TEST(Env, ValueRingKeepsSixtyFourResults)
{
    ScopedVar a(L"NIMB_ENV_TEST_A", L"first");
    ScopedVar b(L"NIMB_ENV_TEST_B", L"second");
    const char *pszFirst = RTEnvValue("NIMB_ENV_TEST_A");
    ASSERT_NE(pszFirst, nullptr);
    for (unsigned i = 0; i < RTENV_VALUE_RING_SIZE - 1; i++)
        ASSERT_STREQ(RTEnvValue("NIMB_ENV_TEST_B"), "second");
    EXPECT_STREQ(pszFirst, "first");
    /* Failed lookups take no slot. */
    EXPECT_EQ(RTEnvValue("NIMB_ENV_TEST_MISSING"), nullptr);
    EXPECT_STREQ(pszFirst, "first");
}

TEST(Env, ArgumentRules)
{
    ScopedVar var(L"NIMB_ENV_TEST_PRESENT", L"v");
    char szBuf[16];
    size_t cch;
    char *const pszBad = reinterpret_cast<char *>(0x20);
    const struct { const char *pszVar; char *pszValue; size_t cb; size_t *pcch; RTSTATUS rc; } aCases[] =
    {
        { nullptr,                 szBuf,   sizeof(szBuf), &cch,    ERR_BAD_POINTER },
        { pszBad,                  szBuf,   sizeof(szBuf), &cch,    ERR_BAD_POINTER },
        { "NIMB_ENV_TEST_PRESENT", pszBad,  sizeof(szBuf), &cch,    ERR_BAD_POINTER },
        { "NIMB_ENV_TEST_PRESENT", szBuf,   sizeof(szBuf), reinterpret_cast<size_t *>(8), ERR_BAD_POINTER },
        { "NIMB_ENV_TEST_PRESENT", nullptr, 4,             &cch,    ERR_BAD_ARGUMENT },
        { "NIMB_ENV_TEST_PRESENT", nullptr, 0,             nullptr, ERR_BAD_ARGUMENT },
        { "NIMB_ENV_TEST_PRESENT", szBuf,   0,             nullptr, ERR_BAD_ARGUMENT },
        { "NIMB=ENV",              szBuf,   sizeof(szBuf), &cch,    ERR_ENV_BAD_NAME },
        { "=C:",                   szBuf,   sizeof(szBuf), &cch,    ERR_ENV_BAD_NAME },
    };
    for (auto const &c : aCases)
    {
        cch = 77;
        EXPECT_EQ(RTEnvQuery(c.pszVar, c.pszValue, c.cb, c.pcch), c.rc) << (RT_VALID_PTR(c.pszVar) ? c.pszVar : "?");
        EXPECT_EQ(RTEnvQueryIn(RTENV_PROCESS, c.pszVar, c.pszValue, c.cb, c.pcch), c.rc);
        if (c.rc == ERR_ENV_BAD_NAME)
            EXPECT_EQ(cch, 0u);
    }
    EXPECT_EQ(RTEnvValue("NIMB=ENV"), nullptr);
    EXPECT_EQ(RTEnvValue(nullptr), nullptr);
    EXPECT_EQ(RTEnvQueryIn(nullptr, "NIMB_ENV_TEST_PRESENT", szBuf, sizeof(szBuf), &cch), ERR_BAD_HANDLE);
    EXPECT_EQ(RTEnvQueryIn(reinterpret_cast<RTENV>(szBuf), "NIMB_ENV_TEST_PRESENT", szBuf, sizeof(szBuf), &cch),
              ERR_BAD_HANDLE);
}
