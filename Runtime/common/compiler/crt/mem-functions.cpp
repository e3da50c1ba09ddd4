/* The memory primitives the compiler emits calls to (block copies, clears and compares),
 * for programs built without a C runtime. Linked into those programs only. */
#include <stddef.h>

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
    const unsigned char *pb1 = static_cast<const unsigned char *>(pv1);
    const unsigned char *pb2 = static_cast<const unsigned char *>(pv2);
    for (size_t i = 0; i < cb; i++)
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
