/* Network address records: an endpoint (IPv4, IPv6 or MAC address with an optional
 * port) and the plain address byte arrays, as printed by the address directives. */
#pragma once
#include "rt/types.h"

/** An IPv6 address in network byte order. */
typedef struct RTNETADDRIPV6
{
    uint8_t ab[16];
} RTNETADDRIPV6;
static_assert(sizeof(RTNETADDRIPV6) == 16, "IPv6 addresses are 16 bytes");

/** A MAC (Ethernet) address. */
typedef struct RTMAC
{
    uint8_t ab[6];
} RTMAC;
static_assert(sizeof(RTMAC) == 6, "MAC addresses are 6 bytes");

/** RTNETENDPOINT::uType values. */
inline constexpr uint32_t RTNETADDR_TYPE_IPV4 = 1;
inline constexpr uint32_t RTNETADDR_TYPE_IPV6 = 2;
inline constexpr uint32_t RTNETADDR_TYPE_MAC  = 4;
/** RTNETENDPOINT::uPort value for an endpoint without a port. */
inline constexpr uint32_t RTNETADDR_PORT_NONE = 0xFFFFFFFFu;

/** An address of one of the types above and its port. */
typedef struct RTNETENDPOINT
{
    /** IPv4 in the first 4 bytes, IPv6 in all 16, MAC in the first 6; network order. */
    uint8_t  abAddr[16];
    uint32_t uType;
    uint32_t uPort;
} RTNETENDPOINT;
static_assert(sizeof(RTNETENDPOINT) == 24, "RTNETENDPOINT layout");
static_assert(offsetof(RTNETENDPOINT, uType) == 16 && offsetof(RTNETENDPOINT, uPort) == 20,
              "RTNETENDPOINT layout");
