/* The floating-point conversion of a program that names none itself: the exact one. Alone
 * in its file, so that a program's own choice keeps this one, and the conversion it leaves
 * out, out of the link. */
#include "rt/format.h"

const RTFmtFloatFn g_pfnRTFmtFloat = RTFmtFloat;
