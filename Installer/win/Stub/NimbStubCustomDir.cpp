/* The copy of ".custom": the shell's copy of a whole tree, without prompts or dialogs. */
#include "NimbStubCustomDir.h"
#include "NimbStubCleanup.h"
#include "rt/dir.h"
#include "rt/path.h"
#include "rt/string.h"
#include <shellapi.h>

namespace {

/** A name list of one name: the name, its terminator and the list's terminator. */
constexpr size_t CUSTOM_LIST_UNITS = PATH_FIELD_SIZE + 1;
/** The shell's copy, with no question, no progress and no error box. */
constexpr FILEOP_FLAGS CUSTOM_COPY_FLAGS = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR | FOF_NOERRORUI;
static_assert(FO_COPY == 2 && CUSTOM_COPY_FLAGS == 0x614, "copy request");

/** Converts @p pszPath into the one-name list @p pwszList. */
int toNameList(const char *pszPath, RTUTF16 *pwszList)
{
    RTUTF16 *pwsz = pwszList;
    size_t cwc = 0;
    RTSTATUS const rc = RTStrToUtf16Ex(pszPath, RTSTR_MAX, &pwsz, CUSTOM_LIST_UNITS - 1, &cwc);
    if (RT_FAILURE(rc))
        return ReportError("RTStrToUtf16Ex failed on '%s': %Rrc", pszPath, rc);
    pwszList[cwc + 1] = 0;
    return 0;
}

/** Whether @p pszPath is a link or junction: copying into it would write wherever it leads.
 *  The name's own attributes tell for every kind of link; the path query describes what a
 *  junction leads to, and Wine shows a link's reparse attribute only on its name. */
bool isLink(const char *pszPath)
{
    RTUTF16 *pwszPath = nullptr;
    if (RT_FAILURE(RTStrToUtf16(pszPath, &pwszPath)))
        return false;   /* the copy's own conversion reports it */
    DWORD const fAttributes = GetFileAttributesW(reinterpret_cast<LPCWSTR>(pwszPath));
    RTUtf16Release(pwszPath);
    return fAttributes != INVALID_FILE_ATTRIBUTES && (fAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

int copyInto(const char *pszSource, const char *pszExtractionDir, const char *pszDest)
{
    if (isLink(pszDest))
        return ReportError("Refusing to copy the '.custom' dir: '%s' is a link", pszDest);

    RTUTF16 awszSource[CUSTOM_LIST_UNITS];
    RTUTF16 awszDest[CUSTOM_LIST_UNITS];
    if (toNameList(pszSource, awszSource) || toNameList(pszExtractionDir, awszDest))
        return 1;
    SHFILEOPSTRUCTW Request = {};
    Request.wFunc = FO_COPY;
    Request.pFrom = reinterpret_cast<PCZZWSTR>(awszSource);
    Request.pTo = reinterpret_cast<PCZZWSTR>(awszDest);
    Request.fFlags = CUSTOM_COPY_FLAGS;
    int const rcCopy = SHFileOperationW(&Request);
    if (rcCopy != 0)
        return ReportError("Copying the '.custom' dir failed: %#x", rcCopy);

    CleanupRecord *pRecord = AddCleanupRecord(pszDest, false /*isFile*/);
    if (!pRecord)
        return 1;
    RTSTATUS const rc = RTDirOpenPath(&pRecord->handle.hDir, pszDest);
    if (RT_FAILURE(rc))
        return ReportError("Unable to open the destination .custom directory: %Rrc", rc);
    return 0;
}

} /* namespace */

int CopyCustomDirectory(const char *pszExtractionDir)
{
    char szSource[PATH_FIELD_SIZE];
    RTSTATUS rc = RTPathExeDir(szSource, sizeof(szSource));
    if (RT_SUCCESS(rc))
        rc = RTPathAppendStr(szSource, sizeof(szSource), CUSTOM_DIR_NAME);
    if (RT_FAILURE(rc))
        return ReportError("Failed to construct '.custom' dir path: %Rrc", rc);
    if (!RTDirExists(szSource))
        return 0;

    char *pszDest = RTPathJoinA(pszExtractionDir, CUSTOM_DIR_NAME);
    if (!pszDest)
        return ReportError("Out of memory!");
    int const rcExit = copyInto(szSource, pszExtractionDir, pszDest);
    RTStrRelease(pszDest);
    return rcExit;
}
