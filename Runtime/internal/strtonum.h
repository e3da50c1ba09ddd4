/* The character classes shared by the text-to-value conversions. */
#pragma once
#include <stdint.h>

/** The value of a digit: '0'-'9' are 0-9, letters of either case 10-35, anything else 0xFF
 *  (no digit for any base). Worked out rather than looked up, which keeps a 256-byte table
 *  out of the program. */
inline unsigned rtStrDigitValue(char ch)
{
    unsigned const uDigit = static_cast<unsigned char>(ch) - static_cast<unsigned>('0');
    if (uDigit < 10)
        return uDigit;
    /* Setting bit 5 folds 'A'-'Z' onto 'a'-'z' and moves nothing else into that range. */
    unsigned const uLetter = (static_cast<unsigned char>(ch) | 0x20u) - static_cast<unsigned>('a');
    return uLetter < 26 ? uLetter + 10 : 0xFF;
}

inline bool rtStrIsHexDigit(char ch)
{
    return rtStrDigitValue(ch) < 16;
}

/** White space as the address parsers see it: space and tab through carriage return. */
inline bool rtStrIsSpace(char ch)
{
    return ch == ' ' || (ch >= '\t' && ch <= '\r');
}
