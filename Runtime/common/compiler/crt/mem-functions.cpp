/* The memory primitives the compiler emits calls to (block copies, clears and compares),
 * for programs built without a C runtime. Linked into those programs only. */
#include <stddef.h>
#include <stdint.h>

extern "C" {

void *memcpy(void *pvDst, const void *pvSrc, size_t cb)
{
    void *pvRet = pvDst;
    __asm__ __volatile__("rep movsb" : "+D"(pvDst), "+S"(pvSrc), "+c"(cb) : : "memory");
    return pvRet;
}

void *memmove(void *pvDst, const void *pvSrc, size_t cb)
{
    unsigned char *pbDst = static_cast<unsigned char *>(pvDst);
    const unsigned char *pbSrc = static_cast<const unsigned char *>(pvSrc);
    if (pbDst <= pbSrc || pbDst >= pbSrc + cb)
        return memcpy(pvDst, pvSrc, cb);
    /* Overlapping with the destination above the source: copy backwards. */
    const unsigned char *pbSrcLast = pbSrc + cb - 1;
    unsigned char *pbDstLast = pbDst + cb - 1;
    __asm__ __volatile__("std\n\trep movsb\n\tcld"
                         : "+D"(pbDstLast), "+S"(pbSrcLast), "+c"(cb) : : "memory");
    return pvDst;
}

void *memset(void *pvDst, int ch, size_t cb)
{
    void *pvRet = pvDst;
    __asm__ __volatile__("rep stosb" : "+D"(pvDst), "+c"(cb) : "a"(ch) : "memory");
    return pvRet;
}

int memcmp(const void *pv1, const void *pv2, size_t cb)
{
    /* Eight words a step while the blocks agree, read in place and folded into one test:
     * most compares are whole-block checks that find them equal. From the step that
     * differs, byte by byte, for the order. */
    using Word = uint32_t __attribute__((__may_alias__, __aligned__(1)));
    constexpr size_t cbStep = 8 * sizeof(uint32_t);
    const unsigned char *pb1 = static_cast<const unsigned char *>(pv1);
    const unsigned char *pb2 = static_cast<const unsigned char *>(pv2);
    size_t i = 0;
    for (; i + cbStep <= cb; i += cbStep)
    {
        auto const *pu1 = reinterpret_cast<const Word *>(pb1 + i);
        auto const *pu2 = reinterpret_cast<const Word *>(pb2 + i);
        if (  (pu1[0] ^ pu2[0]) | (pu1[1] ^ pu2[1]) | (pu1[2] ^ pu2[2]) | (pu1[3] ^ pu2[3])
            | (pu1[4] ^ pu2[4]) | (pu1[5] ^ pu2[5]) | (pu1[6] ^ pu2[6]) | (pu1[7] ^ pu2[7]))
            break;
    }
    for (; i < cb; i++)
        if (pb1[i] != pb2[i])
            return pb1[i] < pb2[i] ? -1 : 1;
    return 0;
}

void *memchr(const void *pv, int ch, size_t cb)
{
    const unsigned char *pb = static_cast<const unsigned char *>(pv);
    for (size_t i = 0; i < cb; i++)
        if (pb[i] == static_cast<unsigned char>(ch))
            return const_cast<unsigned char *>(&pb[i]);
    return nullptr;
}

size_t strlen(const char *psz)
{
    const char *pszEnd = psz;
    while (*pszEnd)
        pszEnd++;
    return static_cast<size_t>(pszEnd - psz);
}

}
