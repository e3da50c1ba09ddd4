/* The logger: instances, the process-wide default and release slots, and the print hook
 * through which code that must not depend on the logger reaches an existing instance. */
#pragma once
#include "rt/types.h"
#include "rt/status.h"

typedef struct RTLOGINSTANCE RTLOGINSTANCE;

/** Prints a message to an instance (null: the default one); see RTLogPrintV. */
typedef RTSTATUS (*PFNRTLOGPRINTV)(RTLOGINSTANCE *pLogger, uint32_t fFlags, uint32_t iGroup,
                                   const char *pszFormat, va_list args);

/** Group index meaning "no group". */
inline constexpr uint32_t RTLOG_NO_GROUP = ~0u;

/** The release instance: empty until a component registers one. */
extern RTLOGINSTANCE *g_pLogRelease;
/** The print hook: empty until the first instance is created. Tests may install their own
 *  hook together with a release instance to capture what the runtime logs. */
extern PFNRTLOGPRINTV g_pfnLogPrintV;

RT_C_DECLS_BEGIN

/** The release instance, or null when none is registered. Never creates one. */
RTLOGINSTANCE *RTLogRelGetDefaultInstance(void);
/** Prints through the print hook; does nothing while the hook is empty. */
void RTLogPrintEx(RTLOGINSTANCE *pLogger, uint32_t fFlags, uint32_t iGroup, const char *pszFormat, ...);

RT_C_DECLS_END
