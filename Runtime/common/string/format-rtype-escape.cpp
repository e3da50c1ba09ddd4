/* Escaping directives of the typed-directive family: a UTF-8 string made safe for an XML
 * attribute (%RMas) or element (%RMes), a JSON string (%RMjs), or a URI component by
 * percent-encoding (%RMpa, %RMpp, %RMpq, %RMpf). */
#include "internal/format-rtype.h"

namespace {

enum class RTFMTESCAPE
{
    XmlAttr, XmlElem, Json, Uri
};

void rtFmtEscapeXml(RTFMTSINK *pSink, char ch, bool fAttr)
{
    switch (ch)
    {
        case '<':  pSink->Str("&lt;"); return;
        case '>':  pSink->Str("&gt;"); return;
        case '&':  pSink->Str("&amp;"); return;
        case '"':  pSink->Str("&quot;"); return;
        case '\'': if (!fAttr) { pSink->Str("&apos;"); return; } break;
        case '\n': if (fAttr) { pSink->Str("&#xA;"); return; } break;
        case '\r': if (fAttr) { pSink->Str("&#xD;"); return; } break;
        default:   break;
    }
    pSink->Char(ch);
}

void rtFmtEscapeJson(RTFMTSINK *pSink, char ch)
{
    switch (ch)
    {
        case '"':  pSink->Str("\\\""); return;
        case '\\': pSink->Str("\\\\"); return;
        case '\b': pSink->Str("\\b"); return;
        case '\t': pSink->Str("\\t"); return;
        case '\n': pSink->Str("\\n"); return;
        case '\f': pSink->Str("\\f"); return;
        default:   break;
    }
    if (static_cast<unsigned char>(ch) < 0x20)
    {
        pSink->Str("\\u00");
        pSink->Byte(static_cast<uint8_t>(ch));
    }
    else
        pSink->Char(ch);
}

/** chExtra is the one more character copied as it is ('/' for paths, '+' for queries),
 *  fForm turns spaces into '+'. */
void rtFmtEscapeUri(RTFMTSINK *pSink, char ch, char chExtra, bool fForm)
{
    static constexpr char s_achDigits[] = "0123456789ABCDEF";
    if (   (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9')
        || ch == '-' || ch == '.' || ch == '_' || ch == '~' || (chExtra && ch == chExtra))
        pSink->Char(ch);
    else if (fForm && ch == ' ')
        pSink->Char('+');
    else
    {
        uint8_t const b = static_cast<uint8_t>(ch);
        pSink->Char('%');
        pSink->Char(s_achDigits[b >> 4]);
        pSink->Char(s_achDigits[b & 0xf]);
    }
}

} /* namespace */

size_t rtFmtRTypeEscape(RTFMTSINK *pSink, const char *pszType, RTFMTSPEC const *pSpec)
{
    RTFMTESCAPE enmEscape;
    char chExtra = '\0';
    bool fForm = false;
    switch (pszType[1])
    {
        case 'a': enmEscape = RTFMTESCAPE::XmlAttr; break;
        case 'e': enmEscape = RTFMTESCAPE::XmlElem; break;
        case 'j': enmEscape = RTFMTESCAPE::Json;    break;
        case 'p': enmEscape = RTFMTESCAPE::Uri;     break;
        default:  return 0;
    }
    if (enmEscape == RTFMTESCAPE::Uri)
        switch (pszType[2])
        {
            case 'a': break;
            case 'p': chExtra = '/'; break;
            case 'q': chExtra = '+'; break;
            case 'f': fForm = true; break;
            default:  return 0;
        }
    else if (pszType[2] != 's')
        return 0;

    const char *psz = va_arg(*pSpec->pArgs, const char *);
    if (!RT_VALID_PTR(psz))
        psz = "<NULL>";
    size_t cch = 0;
    size_t const cchMax = pSpec->cchPrecision >= 0 ? static_cast<size_t>(pSpec->cchPrecision) : ~static_cast<size_t>(0);
    while (cch < cchMax && psz[cch])
        cch++;

    /* The width counts input bytes; the padding goes inside the quotes. */
    size_t const cchWidth = pSpec->cchWidth > 0 ? static_cast<size_t>(pSpec->cchWidth) : 0;
    size_t const cPad = cchWidth > cch ? cchWidth - cch : 0;
    bool const fLeft = (pSpec->fFlags & FMT_LEFT) != 0;
    bool const fQuoted = enmEscape == RTFMTESCAPE::XmlAttr || enmEscape == RTFMTESCAPE::Json;
    auto const Pad = [&]()
    {
        for (size_t i = 0; i < cPad; i++)
            if (enmEscape == RTFMTESCAPE::Uri)
                pSink->Write("%20", 3);
            else
                pSink->Char(' ');
    };

    if (fQuoted)
        pSink->Char('"');
    if (!fLeft)
        Pad();
    for (size_t i = 0; i < cch; i++)
        switch (enmEscape)
        {
            case RTFMTESCAPE::XmlAttr: rtFmtEscapeXml(pSink, psz[i], true); break;
            case RTFMTESCAPE::XmlElem: rtFmtEscapeXml(pSink, psz[i], false); break;
            case RTFMTESCAPE::Json:    rtFmtEscapeJson(pSink, psz[i]); break;
            case RTFMTESCAPE::Uri:     rtFmtEscapeUri(pSink, psz[i], chExtra, fForm); break;
        }
    if (fLeft)
        Pad();
    if (fQuoted)
        pSink->Char('"');
    return 3;
}

extern const RTFMTRTYPEFAMILY g_RTFmtRTypeEscape = { "M", rtFmtRTypeEscape };
