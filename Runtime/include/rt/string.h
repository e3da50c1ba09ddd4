/* UTF-8 and UTF-16 strings: validation, code points, conversions, storage and the few
 * plain string operations the system needs. Every string inside the system is UTF-8;
 * UTF-16 appears only at platform calls. */
#pragma once
#include "rt/types.h"
#include "rt/status.h"

/** A UTF-16 code unit; the platform's wide character. */
typedef wchar_t RTUTF16;
static_assert(sizeof(RTUTF16) == 2, "UTF-16 units are 16 bits");
/** A Unicode code point. */
typedef uint32_t RTUNICP;

/** The code point a failed decoder returns. */
inline constexpr RTUNICP CODEPOINT_BAD = 0xFFFFFFFEu;
/** "No length limit" for the byte and unit limits below. */
inline constexpr size_t RTSTR_MAX = ~static_cast<size_t>(0);

/** RTStrCheckEncoding flags. */
inline constexpr uint32_t STRCHECK_NEED_TERMINATOR = 1;
inline constexpr uint32_t STRCHECK_EXACT_LENGTH    = 2;

RT_C_DECLS_BEGIN

/* UTF-8 inspection and code points. */
RTSTATUS RTStrUtf16Units(const char *psz, size_t cchMax, size_t *pcwc);
RTSTATUS RTStrScanUtf8(const char *psz, size_t cchMax, size_t *pcCps, size_t *pcch);
RTSTATUS RTStrCheckEncoding(const char *psz, size_t cchMax, uint32_t fFlags);
size_t   RTStrCountCodePoints(const char *psz);
RTSTATUS RTStrDecodeCp(const char **ppsz, RTUNICP *pCp);
RTSTATUS RTStrDecodeCpN(const char **ppsz, size_t *pcch, RTUNICP *pCp);
RTUNICP  RTStrPeekCp(const char *psz);
const char *RTStrStepBack(const char *pszStart, const char *psz);
char    *RTStrEncodeCp(char *psz, RTUNICP Cp);

/* Conversions. Allocated results come from the runtime heap. */
RTSTATUS RTStrToUtf16Ex(const char *psz, size_t cchMax, RTUTF16 **ppwsz, size_t cwc, size_t *pcwc);
RTSTATUS RTStrToUtf16(const char *psz, RTUTF16 **ppwsz);
RTSTATUS RTStrToCodePointsEx(const char *psz, size_t cchMax, RTUNICP **ppaCps, size_t cCps, size_t *pcCps);
RTSTATUS RTUtf16ToUtf8Ex(const RTUTF16 *pwsz, size_t cwcMax, char **ppsz, size_t cch, size_t *pcch);
RTSTATUS RTUtf16MeasureUtf8(const RTUTF16 *pwsz, size_t cwcMax, size_t *pcch);
RTSTATUS RTUtf16Utf8Length(const RTUTF16 *pwsz, size_t cwcMax, size_t *pcch);
RTSTATUS RTUtf16DecodeCp(const RTUTF16 **ppwsz, RTUNICP *pCp);
RTSTATUS RTUtf16BigDecodeCp(const RTUTF16 **ppwsz, RTUNICP *pCp);
/** Converts to the active ANSI code page (a validated copy when that is UTF-8); characters
 *  the code page lacks become its default character. */
RTSTATUS RTStrUtf8ToCodePage(char **ppszResult, const char *psz);
/** The same for a given Windows code page number (65001 is UTF-8), e.g. a console's. */
RTSTATUS RTStrUtf8ToCodePageEx(char **ppszResult, const char *psz, unsigned uCodePage);

/* Storage. */
char    *RTStrNew(size_t cb);
char    *RTStrClone(const char *psz);
char    *RTStrCloneN(const char *psz, size_t cchMax);
RTSTATUS RTStrCloneMax(char **ppszResult, const char *psz, size_t cchMax);
RTSTATUS RTStrResize(char **ppsz, size_t cbNew);
void     RTStrRelease(char *psz);
RTUTF16 *RTUtf16New(size_t cb);
RTUTF16 *RTUtf16Clone(const RTUTF16 *pwsz);
size_t   RTUtf16Length(const RTUTF16 *pwsz);
RTSTATUS RTUtf16Resize(RTUTF16 **ppwsz, size_t cbNew);
/** Frees a UTF-16 string from the runtime heap; null is allowed. */
void     RTUtf16Release(RTUTF16 *pwsz);

/* Plain operations. */
RTSTATUS RTStrCopyBounded(char *pszDst, size_t cbDst, const char *pszSrc);
RTSTATUS RTStrAppendBounded(char *pszDst, size_t cbDst, const char *pszSrc);
int      RTStrCompareAsciiNoCase(const char *psz1, const char *pszAscii);
int      RTStrCompareNullSafe(const char *psz1, const char *psz2);

RT_C_DECLS_END
