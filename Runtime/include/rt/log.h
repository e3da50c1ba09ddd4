/* The logger: instances, the process-wide default and release slots, and the print hook
 * through which code that must not depend on the logger reaches an existing instance. */
#pragma once
#include "rt/types.h"
#include "rt/status.h"

typedef struct RTLOGINSTANCE RTLOGINSTANCE;

/** Prints a message to an instance (null: the default one); see RTLogPrintV. */
typedef RTSTATUS (*PFNRTLOGPRINTV)(RTLOGINSTANCE *pLogger, uint32_t fFlags, uint32_t iGroup,
                                   const char *pszFormat, va_list args);

/** Flushes an instance (null: the default one); see RTLogInstanceFlush. */
typedef RTSTATUS (*PFNRTLOGFLUSH)(RTLOGINSTANCE *pLogger);

/** Group index meaning "no group". */
inline constexpr uint32_t RTLOG_NO_GROUP = ~0u;
/** Message flags and group with which the runtime's release-log assertions print. */
inline constexpr uint32_t RTLOG_REL_ASSERT_FLAGS = 0x10;
inline constexpr uint32_t RTLOG_REL_ASSERT_GROUP = 11;

/** The default instance: empty until it is first created. */
extern RTLOGINSTANCE *g_pLogDefault;
/** The release instance: empty until a component registers one. */
extern RTLOGINSTANCE *g_pLogRelease;
/** The print hook: empty until the first instance is created. Tests may install their own
 *  hook together with a release instance to capture what the runtime logs. */
extern PFNRTLOGPRINTV g_pfnLogPrintV;
/** The flush hook: empty until the first instance is created, like the print hook. */
extern PFNRTLOGFLUSH g_pfnLogFlush;

RT_C_DECLS_BEGIN

/** The release instance, or null when none is registered. Never creates one. */
RTLOGINSTANCE *RTLogRelGetDefaultInstance(void);
/** Prints through the print hook; does nothing while the hook is empty. */
/** Flushes @p pLogger (null: the default instance, which this never creates); returns
 *  INF_LOG_NO_INSTANCE while no instance exists. */
RTSTATUS RTLogInstanceFlush(RTLOGINSTANCE *pLogger);
void RTLogPrintEx(RTLOGINSTANCE *pLogger, uint32_t fFlags, uint32_t iGroup, const char *pszFormat, ...);

RT_C_DECLS_END
