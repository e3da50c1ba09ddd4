/* Test program for the block compare the runtime gives programs without a C runtime: every
 * length up to a few steps of its word loop, a single differing byte at every place in
 * either direction, at every alignment of either block, checked against a plain byte
 * loop. Prints each case that disagrees and exits with 1 if any did. */
#include "rt/stream.h"
#include <string.h>

namespace {

int referenceCompare(const unsigned char *pb1, const unsigned char *pb2, size_t cb)
{
    for (size_t i = 0; i < cb; i++)
        if (pb1[i] != pb2[i])
            return pb1[i] < pb2[i] ? -1 : 1;
    return 0;
}

int sign(int i)
{
    return (i > 0) - (i < 0);
}

unsigned char g_ab1[160], g_ab2[160];

} /* namespace */

extern "C" int main(int argc, char **argv, char **envp)
{
    (void)argc, (void)argv, (void)envp;
    constexpr size_t cbMax = 100;
    unsigned cBad = 0;
    for (size_t off1 = 0; off1 < 4; off1++)
        for (size_t off2 = 0; off2 < 4; off2++)
            for (size_t cb = 0; cb <= cbMax; cb++)
                for (size_t iDiff = 0; iDiff <= cb; iDiff++)       /* cb: no difference */
                    for (int iDir = 0; iDir < 2; iDir++)
                    {
                        unsigned char *pb1 = g_ab1 + off1, *pb2 = g_ab2 + off2;
                        for (size_t i = 0; i < cb; i++)
                            pb1[i] = pb2[i] = static_cast<unsigned char>(i * 37 + 11);
                        if (iDiff < cb)
                            (iDir ? pb1 : pb2)[iDiff] ^= 0x80;   /* high bit: the order is unsigned */
                        int const iWant = referenceCompare(pb1, pb2, cb);
                        int const iGot = sign(memcmp(pb1, pb2, cb));
                        if (iGot != iWant && cBad++ < 20)
                            RTPrintfStdOut("offsets %zu/%zu, %zu bytes, difference at %zu: %d, expected %d\n",
                                           off1, off2, cb, iDiff, iGot, iWant);
                    }
    return cBad ? 1 : 0;
}
