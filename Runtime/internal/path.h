/* Helpers shared by the path-text modules and every other piece of the runtime that reads
 * paths: separators per style, drive letters. */
#pragma once
#include "rt/path.h"

/** Whether @a ch separates components in @a fStyle (DOS and host: both kinds). */
inline bool rtPathIsSep(char ch, uint32_t fStyle)
{
    return ch == '/' || (ch == '\\' && (fStyle & RTPSTYLE_MASK) != RTPSTYLE_UNIX);
}

/** Whether @a ch is a separator of either kind, as the platform takes both: in UTF-8 text
 *  and in UTF-16 names alike. */
template <typename TChar>
constexpr bool rtPathIsAnySep(TChar ch)
{
    return ch == '/' || ch == '\\';
}

/** Whether @a ch separates, colon included: where a name must not reach beyond itself. */
template <typename TChar>
constexpr bool rtPathIsSepOrColon(TChar ch)
{
    return ch == '/' || ch == '\\' || ch == ':';
}

inline bool rtPathIsAsciiLetter(char ch)
{
    return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z');
}

inline char rtPathUpper(char ch)
{
    return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch;
}

/** Whether the text starts with a drive letter and a colon. */
inline bool rtPathHasDrive(const char *psz)
{
    return rtPathIsAsciiLetter(psz[0]) && psz[1] == ':';
}

/** The separator written in @a fStyle. */
inline char rtPathSlash(uint32_t fStyle)
{
    return (fStyle & RTPSTYLE_MASK) == RTPSTYLE_UNIX ? '/' : '\\';
}

/** Whether a flag word carries a usable style (style 3 is invalid). */
inline bool rtPathStyleValid(uint32_t fStyle)
{
    return (fStyle & RTPSTYLE_MASK) != RTPSTYLE_MASK;
}
