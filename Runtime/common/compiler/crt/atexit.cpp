/* The C library's atexit for programs without a C runtime: the compiler registers the
 * destructors of static objects through it. */
#include "internal/startup.h"

extern "C" int atexit(void (*pfnCallback)(void))
{
    return rtAtExitRegister(pfnCallback);
}
