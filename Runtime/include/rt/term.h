/* Termination callbacks: functions a module registers to be called, newest first, when the
 * runtime is wound down. */
#pragma once
#include "rt/types.h"
#include "rt/status.h"

/* Why the callbacks run. */
inline constexpr uint32_t RTTERMREASON_EXIT   = 1;
inline constexpr uint32_t RTTERMREASON_ABEND  = 2;
inline constexpr uint32_t RTTERMREASON_SIGNAL = 3;
/** The runtime is unloaded but the process goes on: objects must really be released. */
inline constexpr uint32_t RTTERMREASON_UNLOAD = 4;

typedef void (*PFNRTTERMCALLBACK)(uint32_t enmReason, void *pvUser);

RT_C_DECLS_BEGIN

RTSTATUS RTTermAddCallback(PFNRTTERMCALLBACK pfnCallback, void *pvUser);
/** Calls and forgets every registered callback, newest first. */
void RTTermRunCallbacks(uint32_t enmReason);

RT_C_DECLS_END
