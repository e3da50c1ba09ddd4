/* Environment variables of the process, read by UTF-8 name as UTF-8 values. A missing
 * variable is told apart from an empty one. */
#pragma once
#include "rt/types.h"
#include "rt/status.h"

typedef struct RTENVINTERNAL *RTENV;

/** The process environment, the only one there is. */
inline RTENV const RTENV_PROCESS = reinterpret_cast<RTENV>(static_cast<intptr_t>(-1));

/** Slots of the ring that keeps RTEnvValue's results alive. */
inline constexpr unsigned RTENV_VALUE_RING_SIZE = 64;

RT_C_DECLS_BEGIN

/** Copies the value of @p pszVar into @p pszValue (null with size 0: only measures) and
 *  stores its UTF-8 length in @p pcchActual. A missing variable is
 *  ERR_ENV_VARIABLE_MISSING; an empty one succeeds with length 0. */
RTSTATUS RTEnvQuery(const char *pszVar, char *pszValue, size_t cbValue, size_t *pcchActual);
/** RTEnvQuery on an environment; only RTENV_PROCESS exists. */
RTSTATUS RTEnvQueryIn(RTENV hEnv, const char *pszVar, char *pszValue, size_t cbValue, size_t *pcchActual);
/** The value of @p pszVar, or null when it is missing or anything fails. The string stays
 *  valid until RTENV_VALUE_RING_SIZE further successful calls have been made. */
const char *RTEnvValue(const char *pszVar);

RT_C_DECLS_END
