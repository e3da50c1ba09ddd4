/* The typed-directive families of a program that names none itself: all of them. Alone in
 * its file, so that a program's own list keeps this one, and the families it leaves out,
 * out of the link. */
#include "internal/format-rtype.h"

const RTFMTRTYPEFAMILY *const g_apRTFmtRTypeFamilies[] =
{
    &g_RTFmtRTypeNumbers,
    &g_RTFmtRTypeObjects,
    &g_RTFmtRTypeStatus,
    &g_RTFmtRTypeWinStatus,
    &g_RTFmtRTypeName,
    &g_RTFmtRTypeSize,
    &g_RTFmtRTypeHex,
    &g_RTFmtRTypeEscape,
    &g_RTFmtRTypeCustom,
    nullptr,
};
