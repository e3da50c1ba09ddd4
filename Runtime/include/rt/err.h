/* Status codes beyond their names: conversion of native (Win32, Winsock, HRESULT, NT) error
 * codes and the caller-owned error-information record. */
#pragma once
#include "rt/types.h"
#include "rt/status.h"

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

RT_C_DECLS_END
