/* The file mode word: Unix-style type and permission bits in the low half, the native
 * file attributes shifted left by 16 in the high half. Portable: no platform headers. */
#pragma once
#include "rt/types.h"

/* File types, bits 12-15. */
inline constexpr uint32_t RTFS_TYPE_MASK      = 0xF000;
inline constexpr uint32_t RTFS_TYPE_FIFO      = 0x1000;
inline constexpr uint32_t RTFS_TYPE_DEV_CHAR  = 0x2000;
inline constexpr uint32_t RTFS_TYPE_DIRECTORY = 0x4000;
inline constexpr uint32_t RTFS_TYPE_DEV_BLOCK = 0x6000;
inline constexpr uint32_t RTFS_TYPE_FILE      = 0x8000;
inline constexpr uint32_t RTFS_TYPE_SYMLINK   = 0xA000;
inline constexpr uint32_t RTFS_TYPE_SOCKET    = 0xC000;
