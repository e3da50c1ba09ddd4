/* Clean-up records: everything the run puts on disk, listed with the handle that holds it
 * open, and the clean-up that closes and deletes it all at the end of the run. */
#pragma once
#include "NimbStub.h"
#include "rt/file.h"
#include "rt/dir.h"

/** One item on disk. One heap block holds the record and, right after it, the path. */
struct CleanupRecord
{
    CleanupLink link;
    /** The package a file holds (0-based), -1 for everything else. */
    int32_t     packageIndex;
    /** A file; otherwise a directory. */
    bool        isFile;
    /** Close the handle, but never delete the item (a directory the user named). */
    bool        keepOnDisk;
    /** The open handle the run keeps: NIL_RTFILE or null when none. */
    union
    {
        RTFILE  hFile;
        RTDIR   hDir;
    } handle;
    /** The item's full UTF-8 path, stored right after the record. */
    char        path[1];
};
static_assert(offsetof(CleanupRecord, link) == 0, "the links start the record, so a link is its record");

/** Passes of RunCleanup and the sleeps between them: after the first pass a short one, a
 *  program that is just closing the file usually lets go quickly; then longer ones. */
inline constexpr unsigned CLEANUP_PASSES          = 5;
inline constexpr DWORD    CLEANUP_FIRST_SLEEP_MS  = 100;
inline constexpr DWORD    CLEANUP_LATER_SLEEP_MS  = 3000;
static_assert(CLEANUP_FIRST_SLEEP_MS + (CLEANUP_PASSES - 2) * CLEANUP_LATER_SLEEP_MS == 9100,
              "clean-up sleeps 9.1 seconds at most");

/** Makes the list empty. The run calls it once, right after the single-instance check. */
void InitCleanupList();

/** Lists @p pszPath at the head of the list, with packageIndex -1, keepOnDisk false and no
 *  handle. @returns the record, or null after "Out of memory!" has been reported. */
CleanupRecord *AddCleanupRecord(const char *pszPath, bool isFile);

/** Closes the handle of @p pRecord and deletes its item at once, as a clean-up pass does:
 *  done with, the record is freed; an item still in use stays listed for clean-up. */
void CleanupItemNow(CleanupRecord *pRecord);

/** Unlinks and frees one record, without touching its handle or its item. */
void FreeCleanupRecord(CleanupRecord *pRecord);

/** Closes every listed handle and deletes every listed item not kept on disk, retrying
 *  for up to CLEANUP_PASSES passes; then removes @p pszExtraDir (may be null), a directory
 *  not on the list. Items still in use after the last pass are reported and stay listed.
 *  @returns a status no caller needs: the extra directory's removal, or 0. */
RTSTATUS RunCleanup(const char *pszExtraDir);

/** Unlinks and frees every remaining record, without closing handles or deleting items. */
void FreeCleanupList();

/** The record of the file that holds package @p packageIndex, searched from the head
 *  (newest first). @returns null when there is none. */
CleanupRecord *FindPackageCleanupRecord(int32_t packageIndex);

/** The pause between passes. Tests replace it to run every pass without waiting. */
extern void (WINAPI *g_pfnCleanupSleep)(DWORD cMillies);
