/* The UUID record. The first three fields are held in the machine's byte order, the
 * clock sequence and node bytes as stored. */
#pragma once
#include "rt/types.h"

typedef union RTUUID
{
    uint8_t  au8[16];
    uint32_t au32[4];
    struct
    {
        uint32_t u32TimeLow;
        uint16_t u16TimeMid;
        uint16_t u16TimeHiAndVersion;
        uint8_t  u8ClockSeqHiAndReserved;
        uint8_t  u8ClockSeqLow;
        uint8_t  au8Node[6];
    } Gen;
} RTUUID;
static_assert(sizeof(RTUUID) == 16, "RTUUID layout");
static_assert(offsetof(RTUUID, Gen.au8Node) == 10, "RTUUID layout");
