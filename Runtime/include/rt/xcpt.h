/* Hooks through which a component gives the unhandled-exception report a logger to write
 * to. While neither is installed the runtime's top-level filter reports nothing and only
 * passes the exception on. */
#pragma once
#include "rt/types.h"

typedef struct RTLOGINSTANCE RTLOGINSTANCE;

/** Returns the logger for the report, or null. */
typedef RTLOGINSTANCE *(*PFNRTXCPTLOGGER)(void);

RT_C_DECLS_BEGIN

/** Installs both hooks (null removes one) together with the report that uses them, which
 *  a program without hooks does not carry. The report asks the first hook, then the
 *  second when the first is missing or returns null. */
void RTXcptSetLoggerHooks(PFNRTXCPTLOGGER pfnFirst, PFNRTXCPTLOGGER pfnSecond);

RT_C_DECLS_END
