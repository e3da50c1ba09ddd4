/* Runtime initialisation: the entry every program calls before using the runtime, its flags,
 * and whether it has run. */
#pragma once
#include "rt/types.h"
#include "rt/status.h"

/** Restrict the library search path to the system directory, on every Windows version. */
inline constexpr uint32_t RTINIT_F_SYSTEM32_ONLY       = 0x4;
/** Leave the loader configuration for a later initialisation without this flag. */
inline constexpr uint32_t RTINIT_F_DEFER_LOADER_CONFIG = 0x8;

RT_C_DECLS_BEGIN

/** Initialises the runtime for an executable. Only the first successful call does the
 *  work; later calls merge their flags and check that the argument vector is the one
 *  recorded (ERR_WRONG_STATE otherwise). A failed first call can be repeated.
 *  @param cArgs      argument count, 0 when no vector is given
 *  @param ppapszArgs address of the argument vector; may be null when @p cArgs is 0
 *  @param fFlags     RTINIT_F_ flags; other bits are only stored */
RTSTATUS RTR3InitForExe(int cArgs, char ***ppapszArgs, uint32_t fFlags);

/** True once the first runtime initialisation has completed; false before it and while it
 *  runs (code that initialisation itself may call must then not rely on it). */
bool RTR3InitIsInitialized(void);

/** True from the moment the runtime's exit callback has run. */
bool RTR3InitIsTerminating(void);
RT_C_DECLS_END
