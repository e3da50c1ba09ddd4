/* The installer's reporting functions: message boxes in interactive runs, the standard
 * streams in silent runs, and the console error lines every mode writes. */
#include "NimbStub.h"
#include "rt/format.h"
#include "rt/message.h"
#include "rt/stream.h"
#include "rt/string.h"

MessageBoxCalls g_MessageBoxCalls = { MessageBoxW, MessageBoxA, GetDesktopWindow };

namespace {

constexpr RTUTF16 g_wszProductTitle[] = L"" NIMB_PRODUCT_TITLE;
/** The console error line: the caller's format nested in place (%N takes its argument
 *  list by address). */
constexpr char g_szConsoleError[] = "error: %N\n";

/** Shows @p pszText in a box owned by the desktop, in UTF-16 when the text converts. */
void showMessageBox(const char *pszText, UINT fStyle)
{
    HWND const hwndOwner = g_MessageBoxCalls.pfnGetDesktopWindow();
    RTUTF16 *pwszText = nullptr;
    if (RT_SUCCESS(RTStrToUtf16(pszText, &pwszText)))
    {
        g_MessageBoxCalls.pfnMessageBoxW(hwndOwner, pwszText, g_wszProductTitle, fStyle);
        RTUtf16Release(pwszText);
    }
    else
        g_MessageBoxCalls.pfnMessageBoxA(hwndOwner, pszText, NIMB_PRODUCT_TITLE, fStyle);
}

/** The formatted text in a box of @p fStyle, or when silent on standard error (errors,
 *  program name and prefix before each line) or standard output (information, as it is).
 *  Only errors are dropped when empty. */
void reportV(UINT fStyle, const char *pszFormat, va_list args)
{
    char *pszText = nullptr;
    if (RTStrPrintAllocV(&pszText, pszFormat, args) < 0 || !pszText)
        return;
    bool const fError = fStyle == MSGBOX_ERROR;
    if (*pszText || !fError)
    {
        if (!g_InstallerState.silentMode)
            showMessageBox(pszText, fStyle);
        else if (fError)
            RTMessageToStdErr("%s", pszText);
        else
            RTStreamPrintf(g_pStreamStdOut, "%s\n", pszText);
    }
    RTStrRelease(pszText);
}

/** The console error line on standard error. @returns the number of characters formatted.
 *  The one place that takes the list's address (for %N), so that the three callers hold
 *  nothing the stack protector must guard. */
[[gnu::noinline]] int consoleErrorV(const char *pszFormat, va_list args)
{
    return RTStreamPrintf(g_pStreamStdErr, g_szConsoleError, pszFormat, &args);
}

} /* namespace */

int ReportError(const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    reportV(MSGBOX_ERROR, pszFormat, args);
    va_end(args);
    return 1;
}

int ReportUsageError(const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    reportV(MSGBOX_ERROR, pszFormat, args);
    va_end(args);
    return 2;
}

void ReportInfo(const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    reportV(MSGBOX_INFO, pszFormat, args);
    va_end(args);
}

int ConsoleError(const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    consoleErrorV(pszFormat, args);
    va_end(args);
    return 1;
}

RTSTATUS ConsoleErrorRc(RTSTATUS rc, const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    consoleErrorV(pszFormat, args);
    va_end(args);
    return rc;
}

int ConsoleErrorLen(const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    int const cch = consoleErrorV(pszFormat, args);
    va_end(args);
    return cch;
}
