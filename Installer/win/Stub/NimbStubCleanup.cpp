/* Clean-up records and the clean-up at the end of the run: close every handle, delete
 * every item the run made, retry while something still holds an item. */
#include "NimbStubCleanup.h"
#include "rt/mem.h"

void (WINAPI *g_pfnCleanupSleep)(DWORD cMillies) = Sleep;

namespace {

CleanupLink *listAnchor()
{
    return &g_InstallerState.cleanupList;
}

CleanupRecord *recordOf(CleanupLink *pLink)
{
    return reinterpret_cast<CleanupRecord *>(pLink);
}

/** What became of one record in one pass. */
enum class ItemOutcome { Done, Retry };

/** A removal that finds nothing to remove has nothing left to do. */
bool isGone(RTSTATUS rc)
{
    return RT_SUCCESS(rc) || rc == ERR_FILE_MISSING || rc == ERR_PATH_MISSING;
}

/** Closes the record's handle; a failure is only printed. */
void closeHandle(CleanupRecord *pRecord)
{
    if (pRecord->isFile)
    {
        if (pRecord->handle.hFile == NIL_RTFILE)
            return;
        if (RTFileHandleUsable(pRecord->handle.hFile))
        {
            RTSTATUS const rc = RTFileClose(pRecord->handle.hFile);
            if (RT_FAILURE(rc))
                ConsoleErrorLen("Cleanup file '%s' for #%u: RTFileClose(%p) failed: %Rrc",
                                pRecord->path, pRecord->packageIndex, pRecord->handle.hFile, rc);
        }
        pRecord->handle.hFile = NIL_RTFILE;
    }
    else
    {
        if (!pRecord->handle.hDir)
            return;
        if (RTDirHandleValid(pRecord->handle.hDir))
        {
            RTSTATUS const rc = RTDirClose(pRecord->handle.hDir);
            if (RT_FAILURE(rc))
                ConsoleErrorLen("Cleanup dir '%s' for #%u: RTDirClose(%p) failed: %Rrc",
                                pRecord->path, pRecord->packageIndex, pRecord->handle.hDir, rc);
        }
        pRecord->handle.hDir = nullptr;
    }
}

/** Closes the record's handle and deletes its item unless it is kept on disk. */
ItemOutcome cleanupItem(CleanupRecord *pRecord, bool fLastPass)
{
    closeHandle(pRecord);
    if (pRecord->keepOnDisk)
        return ItemOutcome::Done;
    RTSTATUS const rc = pRecord->isFile ? RTFileRemove(pRecord->path) : RTDirDelete(pRecord->path);
    if (isGone(rc))
        return ItemOutcome::Done;
    /* Something unlisted is still inside a directory (a log, a copied tree): after the last
     * pass the directory simply stays, as the user's files in it must. */
    if (!pRecord->isFile && rc == ERR_DIRECTORY_HAS_ENTRIES)
        return fLastPass ? ItemOutcome::Done : ItemOutcome::Retry;
    if (fLastPass)
        ReportError("Failed to delete temporary %s '%s': %Rrc", pRecord->isFile ? "file" : "directory",
                    pRecord->path, rc);
    return ItemOutcome::Retry;
}

/** One record in one pass: a record done with is freed, one whose item is still there
 *  stays listed. */
void cleanupRecord(CleanupRecord *pRecord, bool fLastPass)
{
    if (cleanupItem(pRecord, fLastPass) == ItemOutcome::Done)
        FreeCleanupRecord(pRecord);
}

} /* namespace */

void InitCleanupList()
{
    listAnchor()->next = listAnchor();
    listAnchor()->previous = listAnchor();
}

CleanupRecord *AddCleanupRecord(const char *pszPath, bool isFile)
{
    size_t const cchPath = __builtin_strlen(pszPath);
    auto *pRecord = static_cast<CleanupRecord *>(RTMemAllocZ(offsetof(CleanupRecord, path) + cchPath + 1));
    if (!pRecord)
    {
        ReportError("Out of memory!");
        return nullptr;
    }
    pRecord->isFile = isFile;
    pRecord->packageIndex = -1;
    if (isFile)
        pRecord->handle.hFile = NIL_RTFILE;
    else
        pRecord->handle.hDir = nullptr;
    __builtin_memcpy(pRecord->path, pszPath, cchPath + 1);

    CleanupLink *pAnchor = listAnchor();
    pRecord->link.next = pAnchor->next;
    pRecord->link.previous = pAnchor;
    pAnchor->next->previous = &pRecord->link;
    pAnchor->next = &pRecord->link;
    return pRecord;
}

void CleanupItemNow(CleanupRecord *pRecord)
{
    cleanupRecord(pRecord, false /*fLastPass*/);
}

void FreeCleanupRecord(CleanupRecord *pRecord)
{
    pRecord->link.previous->next = pRecord->link.next;
    pRecord->link.next->previous = pRecord->link.previous;
    RTMemFree(pRecord);
}

RTSTATUS RunCleanup(const char *pszExtraDir)
{
    CleanupLink *pAnchor = listAnchor();
    for (unsigned iPass = 0; ; iPass++)
    {
        bool const fLastPass = iPass == CLEANUP_PASSES - 1;
        for (CleanupLink *pLink = pAnchor->next; pLink != pAnchor; )
        {
            CleanupRecord *pRecord = recordOf(pLink);
            pLink = pLink->next;
            cleanupRecord(pRecord, fLastPass);
        }

        if (pAnchor->next == pAnchor || fLastPass)
        {
            if (!pszExtraDir)
                return INF_SUCCESS;
            RTSTATUS const rc = RTDirDelete(pszExtraDir);
            if (isGone(rc) || fLastPass)
                return rc;
        }
        g_pfnCleanupSleep(iPass == 0 ? CLEANUP_FIRST_SLEEP_MS : CLEANUP_LATER_SLEEP_MS);
    }
}

void FreeCleanupList()
{
    CleanupLink *pAnchor = listAnchor();
    while (pAnchor->next != pAnchor)
        FreeCleanupRecord(recordOf(pAnchor->next));
}

CleanupRecord *FindPackageCleanupRecord(int32_t packageIndex)
{
    CleanupLink *pAnchor = listAnchor();
    for (CleanupLink *pLink = pAnchor->next; pLink != pAnchor; pLink = pLink->next)
        if (recordOf(pLink)->isFile && recordOf(pLink)->packageIndex == packageIndex)
            return recordOf(pLink);
    return nullptr;
}
