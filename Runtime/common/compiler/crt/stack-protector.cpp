/* The stack cookie and the failure hook that the compiler's stack protector calls when a
 * function's copy of the cookie no longer matches on return. Start-up seeds the cookie
 * before any protected function runs. */
#include "internal/startup.h"

extern "C" {

/** Replaced by start-up; this value is only seen by code that runs before it. */
uintptr_t __stack_chk_guard = 0xDEADBEEF;

RT_NORETURN void __stack_chk_fail(void)
{
    /* The stack can no longer be trusted: write raw, then end the process without
     * running any exit routine. The compiler hands over no copy of the word it found, so
     * the report names only the one expected. */
    rtStartupWriteLiteral("\r\n\r\n!!Stack cookie corruption!!\r\n\r\nexpected");
    rtStartupWriteHex8(static_cast<uint32_t>(__stack_chk_guard));
    rtStartupWriteLiteral("\r\n");
    rtCheckFailureExitAt(RTCHECKFAIL_STACK_COOKIE, reinterpret_cast<uintptr_t>(__builtin_return_address(0)),
                         reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) + 2 * sizeof(uintptr_t),
                         *static_cast<uintptr_t *>(__builtin_frame_address(0)));
}

}
