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

/** The formatted text in an error box, or on standard error when silent. */
void reportErrorV(const char *pszFormat, va_list args)
{
    char *pszText = nullptr;
    if (RTStrPrintAllocV(&pszText, pszFormat, args) < 0 || !pszText)
        return;
    if (*pszText)
    {
        if (g_InstallerState.silentMode)
            RTMessageToStdErr("%s", pszText);
        else
            showMessageBox(pszText, MSGBOX_ERROR);
    }
    RTStrRelease(pszText);
}

int consoleErrorV(const char *pszFormat, va_list args)
{
    /* %N takes the address of a va_list object; a parameter of that type may not be one. */
    va_list argsCopy;
    va_copy(argsCopy, args);
    int const cch = RTStreamPrintf(g_pStreamStdErr, "error: %N\n", pszFormat, &argsCopy);
    va_end(argsCopy);
    return cch;
}

} /* namespace */

int ReportError(const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    reportErrorV(pszFormat, args);
    va_end(args);
    return 1;
}

int ReportUsageError(const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    ReportError("%N", pszFormat, &args);
    va_end(args);
    return 2;
}

void ReportInfo(const char *pszFormat, ...)
{
    va_list args;
    va_start(args, pszFormat);
    char *pszText = nullptr;
    int const cch = RTStrPrintAllocV(&pszText, pszFormat, args);
    va_end(args);
    if (cch < 0 || !pszText)
        return;
    if (g_InstallerState.silentMode)
        RTStreamPrintf(g_pStreamStdOut, "%s\n", pszText);
    else
        showMessageBox(pszText, MSGBOX_INFO);
    RTStrRelease(pszText);
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
