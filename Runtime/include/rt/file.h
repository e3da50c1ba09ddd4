/* Files by UTF-8 path: the open-flag word, open and close, reads and writes that transfer
 * everything or report a partial count, positions, size, flushing, the file information
 * record with its mode word and identity, deletion by name, renaming through an open
 * handle, the file-system kind of an open file, and the information of a path without an
 * open handle. */
#pragma once
#include "rt/types.h"
#include "rt/status.h"
#include "rt/fsmode.h"

/** A file handle: the native handle value. */
typedef intptr_t RTFILE;
/** "No file": the native invalid-handle value. */
inline constexpr RTFILE NIL_RTFILE = -1;

/* Open-flag word. 64 bits wide; only the low half carries meaning and validation clears
 * the upper half. */
inline constexpr uint64_t RTFOPEN_READ                = 0x00000001;
inline constexpr uint64_t RTFOPEN_WRITE               = 0x00000002;
inline constexpr uint64_t RTFOPEN_READWRITE           = 0x00000003;
inline constexpr uint64_t RTFOPEN_ACCESS_MASK         = 0x00000003;
/** Writes go to the end of the file: write access without the right to overwrite. */
inline constexpr uint64_t RTFOPEN_APPEND              = 0x00000004;
/* Share codes: what other openers may do. 0 means RTFOPEN_DENY_NONE. */
inline constexpr uint64_t RTFOPEN_DENY_READ           = 0x00000010;
inline constexpr uint64_t RTFOPEN_DENY_WRITE          = 0x00000020;
inline constexpr uint64_t RTFOPEN_DENY_READWRITE      = 0x00000030;
inline constexpr uint64_t RTFOPEN_SHARE_DELETE        = 0x00000040;
inline constexpr uint64_t RTFOPEN_DENY_NONE           = 0x00000080;
inline constexpr uint64_t RTFOPEN_SHARE_MASK          = 0x000000F0;
/* Actions: what to do when the file exists or not. 0 means RTFOPEN_OPEN. */
inline constexpr uint64_t RTFOPEN_OPEN_CREATE         = 0x00000100;
inline constexpr uint64_t RTFOPEN_CREATE              = 0x00000200;
inline constexpr uint64_t RTFOPEN_CREATE_REPLACE      = 0x00000300;
inline constexpr uint64_t RTFOPEN_OPEN                = 0x00000700;
inline constexpr uint64_t RTFOPEN_ACTION_MASK         = 0x00000700;
/** A created or replaced file gets the not-content-indexed attribute. */
inline constexpr uint64_t RTFOPEN_NOT_CONTENT_INDEXED = 0x00000800;
/** An existing file is emptied; needs write access. */
inline constexpr uint64_t RTFOPEN_TRUNCATE            = 0x00001000;
inline constexpr uint64_t RTFOPEN_INHERIT             = 0x00002000;
inline constexpr uint64_t RTFOPEN_WRITE_THROUGH       = 0x00008000;
/* Attribute access; when 0 it follows the data access. */
inline constexpr uint64_t RTFOPEN_ATTR_READ           = 0x00010000;
inline constexpr uint64_t RTFOPEN_ATTR_WRITE          = 0x00020000;
inline constexpr uint64_t RTFOPEN_ATTR_READWRITE      = 0x00030000;
inline constexpr uint64_t RTFOPEN_ATTR_MASK           = 0x00030000;
inline constexpr uint64_t RTFOPEN_ASYNC_IO            = 0x00040000;
/** Unbuffered transfers; drops the append right. */
inline constexpr uint64_t RTFOPEN_NO_CACHE            = 0x00080000;
/** Unix permission bits of a created file, shifted left by RTFOPEN_CREATE_MODE_SHIFT.
 *  Carried for portability; this platform does not apply them. */
inline constexpr uint64_t RTFOPEN_CREATE_MODE         = 0x1FF00000;
inline constexpr unsigned RTFOPEN_CREATE_MODE_SHIFT   = 20;
inline constexpr uint64_t RTFOPEN_TEMPORARY           = 0x40000000;
/** Bits that must be 0. */
inline constexpr uint64_t RTFOPEN_RESERVED_MASK       = 0x80004008;

/** Action taken by an open (RTFileOpenNamedEx). */
inline constexpr uint32_t RTFACTION_OPENED    = 1;
inline constexpr uint32_t RTFACTION_CREATED   = 2;
inline constexpr uint32_t RTFACTION_REPLACED  = 3;
inline constexpr uint32_t RTFACTION_TRUNCATED = 4;
/** The file already existed; reported together with the failure of a create-only open. */
inline constexpr uint32_t RTFACTION_EXISTED   = 5;

/** Seek methods. */
inline constexpr unsigned RTFSEEK_BEGIN   = 0;
inline constexpr unsigned RTFSEEK_CURRENT = 1;
inline constexpr unsigned RTFSEEK_END     = 2;

/* Mode word: Unix type and permission bits in the low half (rt/fsmode.h), the native
 * attributes shifted left by RTFS_DOS_SHIFT in the high half. */
inline constexpr uint32_t RTFS_UNIX_MASK = 0x0000FFFF;
inline constexpr uint32_t RTFS_PERM_MASK = 0x00000FFF;
inline constexpr unsigned RTFS_DOS_SHIFT         = 16;
inline constexpr uint32_t RTFS_DOS_MASK          = 0xFFFF0000;
inline constexpr uint32_t RTFS_DOS_READONLY      = 0x00010000;
inline constexpr uint32_t RTFS_DOS_HIDDEN        = 0x00020000;
inline constexpr uint32_t RTFS_DOS_SYSTEM        = 0x00040000;
inline constexpr uint32_t RTFS_DOS_DIRECTORY     = 0x00100000;
inline constexpr uint32_t RTFS_DOS_ARCHIVE       = 0x00200000;
inline constexpr uint32_t RTFS_DOS_DEVICE        = 0x00400000;
inline constexpr uint32_t RTFS_DOS_NORMAL        = 0x00800000;
inline constexpr uint32_t RTFS_DOS_TEMPORARY     = 0x01000000;
inline constexpr uint32_t RTFS_DOS_SPARSE        = 0x02000000;
inline constexpr uint32_t RTFS_DOS_REPARSE_POINT = 0x04000000;
inline constexpr uint32_t RTFS_DOS_COMPRESSED    = 0x08000000;
inline constexpr uint32_t RTFS_DOS_OFFLINE       = 0x10000000;
inline constexpr uint32_t RTFS_DOS_NOT_INDEXED   = 0x20000000;
inline constexpr uint32_t RTFS_DOS_ENCRYPTED     = 0x40000000;

/** Reparse tag of a symbolic link. */
inline constexpr uint32_t RTFREPARSE_TAG_SYMLINK = 0xA000000C;

/** Which additional attributes an RTFILESTATS carries. */
inline constexpr uint32_t RTFATTR_NONE       = 1;
inline constexpr uint32_t RTFATTR_UNIX       = 2;
inline constexpr uint32_t RTFATTR_UNIX_OWNER = 3;
inline constexpr uint32_t RTFATTR_UNIX_GROUP = 4;
inline constexpr uint32_t RTFATTR_EA_SIZE    = 5;

/** Unix-style attributes. The volume id and file id together identify a file for its
 *  whole life: two opens of the same file report the same pair. */
struct RTFATTRUNIX
{
    uint32_t uid;            /**< -1 here: no owner ids */
    uint32_t gid;            /**< -1 here */
    uint32_t cHardLinks;     /**< at least 1 */
    uint32_t idVolume;       /**< the volume serial number */
    uint64_t idFile;         /**< the native file index */
    uint32_t fFlags;
    uint32_t uGeneration;
    uint32_t uDevice;
};

/** Owner or group: an id (-1 here) and its name (empty here). */
struct RTFATTRIDNAME
{
    uint32_t id;
    char     szName[64];
};

struct RTFATTREASIZE
{
    uint64_t cb;
};

/** File information record. Times are nanoseconds since 1970-01-01 00:00 UTC. */
struct RTFILESTATS
{
    int64_t  cbObject;           /**< bytes of data */
    int64_t  cbAllocated;        /**< bytes allocated on the medium */
    int64_t  AccessTime;
    int64_t  ModificationTime;
    int64_t  ChangeTime;         /**< last change of data or metadata */
    int64_t  BirthTime;          /**< creation */
    uint32_t fMode;              /**< mode word */
    uint32_t enmAttr;            /**< RTFATTR_XXX: which member of u is filled */
    union
    {
        RTFATTRUNIX   Unix;
        RTFATTRIDNAME UnixOwner;
        RTFATTRIDNAME UnixGroup;
        RTFATTREASIZE EASize;
    } u;
};

/** File-system kinds reported by RTFileFsKind. */
inline constexpr uint32_t RTFSKIND_UNKNOWN = 0;
inline constexpr uint32_t RTFSKIND_UDF     = 1;
inline constexpr uint32_t RTFSKIND_ISO9660 = 2;
inline constexpr uint32_t RTFSKIND_NIMBSF  = 4;
inline constexpr uint32_t RTFSKIND_NTFS    = 18;
inline constexpr uint32_t RTFSKIND_FAT     = 19;
inline constexpr uint32_t RTFSKIND_EXFAT   = 20;
inline constexpr uint32_t RTFSKIND_REFS    = 21;
inline constexpr uint32_t RTFSKIND_HPFS    = 29;

/* RTPathQueryStats flags: exactly one of ON_LINK and FOLLOW_LINK, optionally with
 * RTPATHQ_NO_AUTOMOUNT (which changes nothing on this platform). */
inline constexpr uint32_t RTPATHQ_ON_LINK      = 1;
inline constexpr uint32_t RTPATHQ_FOLLOW_LINK  = 2;
inline constexpr uint32_t RTPATHQ_NO_AUTOMOUNT = 4;

/** RTFileRenameByHandle flag: replace an existing entry of the new name. */
inline constexpr uint32_t RTFRENAME_REPLACE = 1;

RT_C_DECLS_BEGIN

/** Opens or creates a file; *phFile is NIL until success. */
RTSTATUS RTFileOpenNamed(RTFILE *phFile, const char *pszPath, uint64_t fOpen);
/** As RTFileOpenNamed, and reports the action taken (RTFACTION_XXX, 0 until known). */
RTSTATUS RTFileOpenNamedEx(const char *pszPath, uint64_t fOpen, RTFILE *phFile, uint32_t *penmActionTaken);
/** Creates a file with a unique name from a template, as RTDirMakeTemp does; @p fOpen
 *  must ask for RTFOPEN_CREATE. */
RTSTATUS RTFileMakeTemp(RTFILE *phFile, char *pszTemplate, uint64_t fOpen);
/** Wraps a native handle that the caller gives up. */
RTSTATUS RTFileAdoptNative(RTFILE *phFile, intptr_t hNative);
/** Closes a handle; NIL succeeds without doing anything. */
RTSTATUS RTFileClose(RTFILE hFile);

/** Without pcbRead the whole size is read or the call fails (a read at the end of the file
 *  gives ERR_FILE_END_REACHED); with it, one transfer is made and its count reported. */
RTSTATUS RTFileRead(RTFILE hFile, void *pvBuf, size_t cbToRead, size_t *pcbRead);
/** Without pcbWritten the whole size is written or the call fails; with it, one transfer is
 *  made and its count reported. */
RTSTATUS RTFileWrite(RTFILE hFile, const void *pvBuf, size_t cbToWrite, size_t *pcbWritten);
/** Moves the file position (RTFSEEK_XXX) and optionally reports the new one. */
RTSTATUS RTFileSetPos(RTFILE hFile, int64_t offSeek, unsigned uMethod, uint64_t *poffActual);
/** The current position, or all ones on failure. */
uint64_t RTFileGetPos(RTFILE hFile);
RTSTATUS RTFileSizeOf(RTFILE hFile, uint64_t *pcbSize);
/** Flushes buffered data to the medium. */
RTSTATUS RTFileSync(RTFILE hFile);
/** Words a disk-full failure: ERR_FILE_TOO_BIG when cbSize is beyond what the file's
 *  file system can hold in one file, else ERR_NO_SPACE_LEFT. */
RTSTATUS RTFileCheckSizeLimit(RTFILE hFile, uint64_t cbSize);

RTSTATUS RTFileQueryInfo(RTFILE hFile, RTFILESTATS *pStats, uint32_t enmAttr);
/** Whether the handle refers to something that can be read or written. */
bool     RTFileHandleUsable(RTFILE hFile);
/** Deletes a file by name; refuses directories and reparse points. */
RTSTATUS RTFileRemove(const char *pszPath);
RTSTATUS RTFileFsKind(RTFILE hFile, uint32_t *penmKind);
/** Gives the file open as @p hFile, opened with the right to delete it, the name
 *  @p pszNewPath on the same volume, through the handle. An entry of that name fails the
 *  call, unless RTFRENAME_REPLACE is given: then the entry, a link included, is replaced
 *  itself and never followed. @returns ERR_SHARING_CONFLICT when the file to replace is
 *  open in another process, ERR_ACCESS_REFUSED when it may not be replaced for another
 *  reason (a directory, a read-only file). */
RTSTATUS RTFileRenameByHandle(RTFILE hFile, const char *pszNewPath, uint32_t fRename);

/** Opens the existing file @p pszPath for reading with the right to rename it through the
 *  handle (RTFileRenameByHandle), which the open-flag word has no bit for. Others may only
 *  read it while the handle is open; it is closed with RTFileClose. */
RTSTATUS RTFileOpenMovable(RTFILE *phFile, const char *pszPath);

/** Builds a mode word from native attributes (already shifted into the high half), the
 *  name (for the executable suffixes; cchName 0 measures it), the reparse tag and a type
 *  hint (RTFS_TYPE_DIRECTORY forces a directory). */
uint32_t RTFileModeFromAttributes(uint32_t fAttrs, const char *pszName, size_t cchName,
                                  uint32_t uReparseTag, uint32_t fTypeHint);

/** The information record of a path, without keeping a handle open. */
RTSTATUS RTPathQueryStats(const char *pszPath, RTFILESTATS *pStats, uint32_t enmAttr, uint32_t fFlags);

RT_C_DECLS_END
