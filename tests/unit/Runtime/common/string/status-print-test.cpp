/* Printing forms of statuses and Win32 codes. */
#include <gtest/gtest.h>
#include <climits>
#include <cstring>
#include <string>
#include "internal/err.h"
#include "status-test-output.h"

namespace {

typedef size_t (*PrintFn)(RTSTATUS, RTFmtOutputFn, void *, char *);
typedef size_t (*WinPrintFn)(uint32_t, RTFmtOutputFn, void *, char *);

template <typename Fn, typename Code>
std::string Print(Fn pfn, Code code, size_t *pcchRet = nullptr)
{
    std::string out;
    char szScratch[RTERR_SCRATCH_SIZE];
    size_t const cch = pfn(code, CollectOutput, &out, szScratch);
    if (pcchRet)
        *pcchRet = cch;
    return out;
}

} /* namespace */

TEST(StatusPrint, PrintingForms)
{
    struct Case { PrintFn pfn; RTSTATUS rc; const char *pszWant; };
    Case const aCases[] =
    {
        { RTErrPrintName,    ERR_BAD_ARGUMENT, "ERR_BAD_ARGUMENT" },
        { RTErrPrintName,    -12345,           "-12345" },
        { RTErrPrintName,    INT32_MIN,        "-2147483648" },
        { RTErrPrintMessage, -12345,           "Unknown Status -12345 (0xffffcfc7)" },
        { RTErrPrintFull,    -12345,           "Unknown Status -12345 (0xffffcfc7)" },
        { RTErrPrintFull,    INF_SUCCESS,      "INF_SUCCESS (0) - Success" },
        { RTErrPrintFull,    ERR_BAD_ARGUMENT, "ERR_BAD_ARGUMENT (-2) - The argument is invalid" },
        { RTErrPrintUnknown, ERR_BAD_ARGUMENT, "Unknown Status -2 (0xfffffffe)" },
        { RTErrPrintUnknown, 12345,            "Unknown Status 12345 (0x3039)" },
    };
    for (const Case &c : aCases)
    {
        size_t cch = 0;
        EXPECT_EQ(Print(c.pfn, c.rc, &cch), c.pszWant);
        EXPECT_EQ(cch, strlen(c.pszWant)) << c.pszWant;
        char szScratch[RTERR_SCRATCH_SIZE];
        EXPECT_EQ(c.pfn(c.rc, TakeNothing, nullptr, szScratch), 0u) << c.pszWant;
    }
}

TEST(StatusPrint, Win32Forms)
{
    struct Case { WinPrintFn pfn; uint32_t uCode; const char *pszWant; };
    Case const aCases[] =
    {
        { RTErrWinPrintName, 0,           "ERROR_SUCCESS" },
        { RTErrWinPrintName, 0x80070000u, "ERROR_SUCCESS/0x80070000" },
        { RTErrWinPrintName, 0xC0070000u, "ERROR_SUCCESS/0xc0070000" },  /* facility is bits 16-28 */
        { RTErrWinPrintName, 0x80080000u, "0x80080000" },
        { RTErrWinPrintName, 0x80070005u, "0x80070005" },
        { RTErrWinPrintName, 5,           "0x5" },
        { RTErrWinPrintFull, 0,           "ERROR_SUCCESS (0x0)" },
        { RTErrWinPrintFull, 0x80070000u, "ERROR_SUCCESS (0x80070000)" },
        { RTErrWinPrintFull, 5,           "Unknown Status 0x5" },
        { RTErrWinPrintFull, 0xFFFFFFFFu, "Unknown Status 0xffffffff" },
    };
    for (const Case &c : aCases)
    {
        size_t cch = 0;
        EXPECT_EQ(Print(c.pfn, c.uCode, &cch), c.pszWant);
        EXPECT_EQ(cch, strlen(c.pszWant)) << c.pszWant;
    }
}
