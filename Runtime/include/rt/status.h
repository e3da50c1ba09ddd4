/* Status codes: the generated names and the helpers on them. */
#pragma once
#include "rt/types.h"
#include "rt/status-codes.h"
