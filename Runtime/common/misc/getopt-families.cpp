/* The option value families of a program that names none itself: all of them. Alone in
 * its file, so that a program's own list keeps this one, and the families it leaves out,
 * out of the link. */
#include "internal/getopt.h"

const RTGETOPTVALFAMILY *const g_apRTGetOptValFamilies[] =
{
    &g_RTGetOptValNumbers,
    &g_RTGetOptValWords,
    &g_RTGetOptValNet,
    nullptr,
};
