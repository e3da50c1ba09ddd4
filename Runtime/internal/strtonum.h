/* The character classes shared by the text-to-value conversions. */
#pragma once
#include <stdint.h>

/** Digit values: '0'-'9' are 0-9, letters of either case 10-35, anything else 0xFF
 *  (no digit for any base). */
struct RTSTRDIGITS
{
    uint8_t ab[256];
    constexpr RTSTRDIGITS() : ab()
    {
        for (unsigned i = 0; i < 256; i++)
            ab[i] = 0xFF;
        for (unsigned i = 0; i < 10; i++)
            ab['0' + i] = static_cast<uint8_t>(i);
        for (unsigned i = 0; i < 26; i++)
        {
            ab['a' + i] = static_cast<uint8_t>(10 + i);
            ab['A' + i] = static_cast<uint8_t>(10 + i);
        }
    }
};
inline constexpr RTSTRDIGITS g_rtStrDigits;

inline unsigned rtStrDigitValue(char ch)
{
    return g_rtStrDigits.ab[static_cast<unsigned char>(ch)];
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
