/* The Park-Miller state operations of a program that names none itself: the text form.
 * Alone in its file, so that a program's own choice keeps this one, and the operations it
 * leaves out, out of the link. */
#include "internal/rand.h"

const RTRANDPMSTATEOPS *const g_pRTRandPmStateOps = &g_RTRandPmStateText;
