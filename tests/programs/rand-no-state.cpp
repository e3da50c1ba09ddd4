/* Test program that leaves the Park-Miller state text out: saving and restoring a
 * generator's state are refused as not implemented, while its draws are as ever. */
#include "rt/rand.h"
#include "rt/stream.h"

const RTRANDPMSTATEOPS *const g_pRTRandPmStateOps = nullptr;

extern "C" int main(int argc, char **argv, char **envp)
{
    (void)argc; (void)argv; (void)envp;
    RTRANDGEN hRand;
    if (RT_FAILURE(RTRandParkMillerCreate(&hRand)))
        return 1;
    char szState[RTRAND_PM_STATE_LEN + 1] = "";
    size_t cbState = sizeof(szState);
    RTSTATUS const rcSave = RTRandGenSaveState(hRand, szState, &cbState);
    RTSTATUS const rcRestore = RTRandGenRestoreState(hRand, "PM:00000001,00000000,00;");
    /* Seeded with 1, the first whole step is the multiplier itself. */
    RTRandGenSeed(hRand, 1);
    uint32_t const uDraw = RTRandGenRangeU32(hRand, 0, 0x7FFFFFFE);
    RTPrintfStdOut("%Rrc|%Rrc|%u|%u|%s\n", rcSave, rcRestore, static_cast<unsigned>(cbState),
                   static_cast<unsigned>(uDraw), szState);
    return RT_SUCCESS(RTRandGenDestroy(hRand)) ? 0 : 1;
}
