/* The status text tables as the generator lays them out, their lookups and the printing
 * forms behind the %Rr and %Rw directives. */
#pragma once
#include "rt/err.h"
#include "rt/format.h"

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
