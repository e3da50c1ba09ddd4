/* The work behind runtime initialisation, its state, and the platform's steps it calls:
 * for the start-up, the platform layer and the tests that drive them. */
#pragma once
#include "rt/init.h"

/** A program path handed to initialisation must be shorter than this, in bytes. */
inline constexpr uint32_t RTR3INIT_PATH_MAX = 4068;

RT_C_DECLS_BEGIN

/** The work behind RTR3InitForExe; @p pszProgramPath, when given, replaces the path the
 *  platform reports for the executable. */
RTSTATUS rtR3InitOnce(uint32_t fFlags, int cArgs, char ***ppapszArgs, const char *pszProgramPath);

/*
 * Initialisation state, for the runtime's own checks and for tests.
 */

/** Initialisation calls so far, not counting a failed first one. */
extern volatile int32_t  g_cRTR3Inits;
/** 1 while the first initialisation runs. */
extern volatile uint32_t g_fRTR3Initialising;
/** Every flag ever passed to initialisation, combined. */
extern uint32_t          g_fRTR3InitFlags;
/** The recorded argument count (-1: none yet) and vector. */
extern int32_t           g_cRTR3InitArgs;
extern char            **g_papszRTR3InitArgs;
extern uint32_t          g_uRTR3ProcessId;

/** The platform's set-up, first of the first initialisation: the operating system's
 *  version, the optional entry points and, unless deferred, the loader configuration. */
RTSTATUS rtR3InitPlatform(uint32_t fFlags);
/** The loader configuration step: error mode, library search path, exception filter. */
RTSTATUS rtR3InitLoaderConfig(uint32_t fFlags);

/** Writes the executable's full path, UTF-8, into @p pszPath of @p cbPath bytes. */
RTSTATUS rtProcInitExePath(char *pszPath, size_t cbPath);

RT_C_DECLS_END
