/* Runtime initialisation: the entry every program calls before using the runtime, its flags,
 * and the process-wide facts it records for the rest of the runtime. */
#pragma once
#include "rt/types.h"
#include "rt/status.h"

/** Restrict the library search path to the system directory, on every Windows version. */
inline constexpr uint32_t RTINIT_F_SYSTEM32_ONLY       = 0x4;
/** Leave the loader configuration for a later initialisation without this flag. */
inline constexpr uint32_t RTINIT_F_DEFER_LOADER_CONFIG = 0x8;

/** A program path handed to initialisation must be shorter than this, in bytes. */
inline constexpr uint32_t RTR3INIT_PATH_MAX = 4068;

/** The Windows release, as runtime initialisation names it from the version record: the
 *  9x family from 1, the NT family from 100, each in release order; a workstation and the
 *  server of the same kernel version follow one another. */
enum RTWINVER : uint32_t
{
    RTWINVER_UNKNOWN   = 0,     /**< not yet known, or a combination no release has */
    RTWINVER_95        = 1,
    RTWINVER_95_SP1    = 2,
    RTWINVER_95_OSR2   = 3,
    RTWINVER_98        = 4,
    RTWINVER_98_SP1    = 5,
    RTWINVER_98_SE     = 6,
    RTWINVER_ME        = 7,
    RTWINVER_NT310     = 100,
    RTWINVER_NT350     = 101,
    RTWINVER_NT351     = 102,
    RTWINVER_NT4       = 103,
    RTWINVER_2K        = 104,
    RTWINVER_XP        = 105,
    RTWINVER_2003      = 107,
    RTWINVER_VISTA     = 108,
    RTWINVER_2008      = 109,
    RTWINVER_7         = 110,
    RTWINVER_2008_R2   = 111,
    RTWINVER_8         = 112,
    RTWINVER_2012      = 113,
    RTWINVER_81        = 114,
    RTWINVER_2012_R2   = 115,
    RTWINVER_10        = 116,
    RTWINVER_2016      = 117,
    RTWINVER_2019      = 118,
    RTWINVER_2022      = 119,
    RTWINVER_11        = 120,
    RTWINVER_2025      = 121,
    RTWINVER_NT_NEWER  = 199,   /**< an NT-family version this table does not name */
};

RT_C_DECLS_BEGIN

/** The running Windows release; RTWINVER_UNKNOWN until runtime initialisation has run. */
extern RTWINVER g_enmWinVer;

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
