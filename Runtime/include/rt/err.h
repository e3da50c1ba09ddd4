/* Status codes beyond their names: conversion of native (Win32, Winsock, HRESULT, NT) error
 * codes, the caller-owned error-information record, and the status text tables with the
 * printing forms used by the %Rr and %Rw directives. */
#pragma once
#include "rt/types.h"
#include "rt/status.h"
#include "rt/format.h"

/** Error information: an optional companion of a status that receives a readable reason.
 *  The caller owns the record and its buffer; operations only write into them. */
struct RTERRINFO
{
    /** High 16 bits: ERRINFO_SIGNATURE. ERRINFO_HAS_REASON says a reason is stored; the
     *  other bits belong to the record's creator and are never touched. */
    uint32_t uMarks;
    /** The stored status. */
    int32_t  iResult;
    /** Size of the reason buffer in bytes, terminator included. */
    uint32_t cbReason;
    /** The reason, UTF-8, always terminated inside cbReason bytes. */
    char    *pszReason;
};

inline constexpr uint32_t ERRINFO_SIGNATURE      = 0xBABE;
inline constexpr uint32_t ERRINFO_SIGNATURE_MASK = 0xFFFF0000u;
inline constexpr uint32_t ERRINFO_HAS_REASON     = 0x4;

/** Sets up a record over a caller buffer: the signature, no reason, an empty message. */
inline void RTErrInfoInit(RTERRINFO *pErrInfo, char *pszBuf, size_t cbBuf)
{
    pErrInfo->uMarks    = ERRINFO_SIGNATURE << 16;
    pErrInfo->iResult   = 0;
    pErrInfo->cbReason  = static_cast<uint32_t>(cbBuf);
    pErrInfo->pszReason = pszBuf;
    if (cbBuf)
        pszBuf[0] = '\0';
}

/** True when the record carries the signature and a stored reason. */
inline bool RTErrInfoHasReason(const RTERRINFO *pErrInfo)
{
    return (pErrInfo->uMarks & (ERRINFO_SIGNATURE_MASK | ERRINFO_HAS_REASON))
        == ((ERRINFO_SIGNATURE << 16) | ERRINFO_HAS_REASON);
}

/** One row of the status text table, 8 bytes, little-endian. Both texts are located in the
 *  packed text area by a 17-bit offset and their packed length. */
struct RTERRENTRY
{
    /** Bits 0-16 name offset, bits 17-22 name length, bits 23-31 message offset bits 0-8. */
    uint32_t uNameAndMsgLow;
    /** Message offset bits 9-16. */
    uint8_t  bMsgHigh;
    /** Packed length of the message. */
    uint8_t  cbMsg;
    /** The status value. */
    int16_t  iStatus;
};
static_assert(sizeof(RTERRENTRY) == 8, "status text rows are 8 bytes");
static_assert(offsetof(RTERRENTRY, bMsgHigh) == 4 && offsetof(RTERRENTRY, cbMsg) == 5
              && offsetof(RTERRENTRY, iStatus) == 6, "status text row layout");

inline void RTErrEntryGetName(const RTERRENTRY *pEntry, uint32_t *poff, uint32_t *pcb)
{
    *poff = pEntry->uNameAndMsgLow & 0x1FFFF;
    *pcb  = (pEntry->uNameAndMsgLow >> 17) & 0x3F;
}

inline void RTErrEntryGetMessage(const RTERRENTRY *pEntry, uint32_t *poff, uint32_t *pcb)
{
    *poff = (static_cast<uint32_t>(pEntry->bMsgHigh) << 9) | (pEntry->uNameAndMsgLow >> 23);
    *pcb  = pEntry->cbMsg;
}

/** A packed text area. With cWords 0 the texts are plain; otherwise each byte b of a text is
 *  looked up in pauWords, which has one entry per byte value: (length << 22) | offset of
 *  the word's plain text inside the area itself. Length 0 or 1 means b stands for itself.
 *  With fewer than 256 words, byte 255 escapes one literal character. */
struct RTERRPACKEDTEXT
{
    const uint8_t  *pbArea;
    uint32_t        cbArea;
    uint32_t        cWords;
    const uint32_t *pauWords;
};

/** One row of the Win32 error name table: the code and its name in the name area. */
struct RTERRWINENTRY
{
    uint32_t uCode;
    uint8_t  offName;
    uint8_t  cchName;
};

/** The generated tables. */
extern const RTERRENTRY      g_aRTErrEntries[];
extern const uint32_t        g_cRTErrEntries;
extern const RTERRPACKEDTEXT g_RTErrPackedText;
extern const RTERRWINENTRY   g_aRTErrWinEntries[];
extern const uint32_t        g_cRTErrWinEntries;
extern const char            g_achRTErrWinNames[];
extern const uint32_t        g_cbRTErrWinNames;

/** Size of the scratch buffer the printing forms need for numbers. */
inline constexpr size_t RTERR_SCRATCH_SIZE = 80;

RT_C_DECLS_BEGIN

/** Converts a Win32 or Winsock error (or one of the few HRESULT and NT values the platform
 *  reports through the last-error value) to a status. Unknown codes give
 *  ERR_UNMAPPED_NATIVE_ERROR. */
RTSTATUS RTErrConvertFromWinError(uint32_t uNativeCode);
/** Converts an NT status to a status. Unknown values give ERR_UNMAPPED_NATIVE_ERROR and,
 *  when a release logger exists, are reported to it. */
RTSTATUS RTErrConvertFromNtStatus(int32_t rcNt);

/** Clears a stored reason (null allowed). Operations taking a record call this first. */
void     RTErrInfoReset(RTERRINFO *pErrInfo);
/** Stores a status and a copy of the message (truncated to fit); returns rc. */
RTSTATUS RTErrInfoStore(RTERRINFO *pErrInfo, RTSTATUS rc, const char *pszMsg);
/** Stores a status and a formatted message (truncated to fit); returns rc. */
RTSTATUS RTErrInfoStoreF(RTERRINFO *pErrInfo, RTSTATUS rc, const char *pszFormat, ...);
RTSTATUS RTErrInfoStoreV(RTERRINFO *pErrInfo, RTSTATUS rc, const char *pszFormat, va_list args);

/** Row index of a status in the status text table, or -1. */
int      RTErrFindEntry(RTSTATUS rc);
/** Streams one packed text to the output callback; returns the characters output. */
size_t   RTErrExpandText(const RTERRPACKEDTEXT *pText, uint32_t off, uint32_t cb,
                         RTFmtOutputFn pfnOutput, void *pvUser);

/* Printing forms. pszScratch holds RTERR_SCRATCH_SIZE bytes for numbers; each returns the
 * number of characters output. */
/** The define name, or the signed decimal value for an unknown status. */
size_t   RTErrPrintName(RTSTATUS rc, RTFmtOutputFn pfnOutput, void *pvUser, char *pszScratch);
/** "NAME (value) - message", or the unknown form. */
size_t   RTErrPrintFull(RTSTATUS rc, RTFmtOutputFn pfnOutput, void *pvUser, char *pszScratch);
/** The message, or the unknown form. */
size_t   RTErrPrintMessage(RTSTATUS rc, RTFmtOutputFn pfnOutput, void *pvUser, char *pszScratch);
/** "Unknown Status value (0xhex)". */
size_t   RTErrPrintUnknown(RTSTATUS rc, RTFmtOutputFn pfnOutput, void *pvUser, char *pszScratch);

/** Row index of a Win32 code in the Win32 name table, or -1. */
int      RTErrWinFindEntry(uint32_t uCode);
/** The Win32 name, "NAME/0xhex" for a Win32-facility HRESULT of a named code, else "0xhex". */
size_t   RTErrWinPrintName(uint32_t uCode, RTFmtOutputFn pfnOutput, void *pvUser, char *pszScratch);
/** "NAME (0xhex)", or "Unknown Status 0xhex". */
size_t   RTErrWinPrintFull(uint32_t uCode, RTFmtOutputFn pfnOutput, void *pvUser, char *pszScratch);

RT_C_DECLS_END
