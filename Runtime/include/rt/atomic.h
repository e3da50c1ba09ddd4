/* Atomic operations on 32-bit words and pointers, all with full barriers. Portable: built
 * on the compiler's atomic builtins, no platform headers. */
#pragma once
#include "rt/types.h"

inline uint32_t RTAtomicReadU32(const volatile uint32_t *pu32)
{
    return __atomic_load_n(pu32, __ATOMIC_SEQ_CST);
}

inline int32_t RTAtomicReadS32(const volatile int32_t *pi32)
{
    return __atomic_load_n(pi32, __ATOMIC_SEQ_CST);
}

/** Stores @p u32 and returns the previous value. */
inline uint32_t RTAtomicXchgU32(volatile uint32_t *pu32, uint32_t u32)
{
    return __atomic_exchange_n(pu32, u32, __ATOMIC_SEQ_CST);
}

inline int32_t RTAtomicXchgS32(volatile int32_t *pi32, int32_t i32)
{
    return __atomic_exchange_n(pi32, i32, __ATOMIC_SEQ_CST);
}

/** Stores @p uNew if the word holds @p uOld; true when it did. */
inline bool RTAtomicCmpXchgU32(volatile uint32_t *pu32, uint32_t uNew, uint32_t uOld)
{
    return __atomic_compare_exchange_n(pu32, &uOld, uNew, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
}

inline bool RTAtomicCmpXchgS32(volatile int32_t *pi32, int32_t iNew, int32_t iOld)
{
    return __atomic_compare_exchange_n(pi32, &iOld, iNew, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
}

/** Adds and returns the new value. */
inline uint32_t RTAtomicAddU32(volatile uint32_t *pu32, uint32_t u32)
{
    return __atomic_add_fetch(pu32, u32, __ATOMIC_SEQ_CST);
}

inline int32_t RTAtomicAddS32(volatile int32_t *pi32, int32_t i32)
{
    return __atomic_add_fetch(pi32, i32, __ATOMIC_SEQ_CST);
}

inline uint32_t RTAtomicIncU32(volatile uint32_t *pu32) { return RTAtomicAddU32(pu32, 1); }
inline uint32_t RTAtomicDecU32(volatile uint32_t *pu32) { return RTAtomicAddU32(pu32, UINT32_MAX); }
inline int32_t  RTAtomicIncS32(volatile int32_t *pi32)  { return RTAtomicAddS32(pi32, 1); }
inline int32_t  RTAtomicDecS32(volatile int32_t *pi32)  { return RTAtomicAddS32(pi32, -1); }

template <typename T>
inline T *RTAtomicReadPtr(T *const volatile *ppv)
{
    return __atomic_load_n(ppv, __ATOMIC_SEQ_CST);
}

template <typename T>
inline T *RTAtomicXchgPtr(T *volatile *ppv, T *pvNew)
{
    return __atomic_exchange_n(ppv, pvNew, __ATOMIC_SEQ_CST);
}

template <typename T>
inline bool RTAtomicCmpXchgPtr(T *volatile *ppv, T *pvNew, T *pvOld)
{
    return __atomic_compare_exchange_n(ppv, &pvOld, pvNew, false, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
}

/** Orders every earlier memory access before every later one. */
inline void RTAtomicFullBarrier(void)
{
    __atomic_thread_fence(__ATOMIC_SEQ_CST);
}

/** Tells the processor that the caller is spinning. */
inline void RTAtomicPause(void)
{
#if defined(__i386__) || defined(__x86_64__)
    __builtin_ia32_pause();
#endif
}
