/* Logger lines with the wall-clock and thread-name prefixes to a buffered file, against the
 * stream module printing lines of the same shape and length to a file. */
#include <stdio.h>
#include <string>
#include "bench-timer.h"
#include "scratch-dir.h"
#include "rt/log.h"
#include "rt/stream.h"

namespace {

constexpr int kLines = 100000;

void WithLogger(const std::string &sPath)
{
    RTLOGINSTANCE *pLogger = nullptr;
    if (RTLogInstanceCreateF(&pLogger, RTLOGFLAGS_BUFFERED | RTLOGFLAGS_PREFIX_TIME | RTLOGFLAGS_PREFIX_THREAD, 0,
                             nullptr, nullptr, 0, nullptr, RTLOGDEST_FILE, "%s", sPath.c_str()) < 0)
        return;
    for (int i = 0; i < kLines; i++)
        RTLogPrintEx(pLogger, 0, RTLOG_NO_GROUP, "line %d: %s value=%x\n", i, "some text", i * 7);
    RTLogInstanceDestroy(pLogger);  /* writes out and closes */
}

void WithStreams(const std::string &sPath)
{
    PRTSTREAM pStream = nullptr;
    if (RTStreamOpenPath(sPath.c_str(), "wb", &pStream) < 0)
        return;
    /* The same prefix columns: a clock reading of the same width and a blank name column. */
    for (int i = 0; i < kLines; i++)
    {
        SYSTEMTIME Now;
        GetSystemTime(&Now);
        RTStreamPrintf(pStream, "%02u:%02u:%02u.%06u %-8sline %d: %s value=%x\n", Now.wHour, Now.wMinute,
                       Now.wSecond, Now.wMilliseconds * 1000u, "", i, "some text", i * 7);
    }
    RTStreamTerminate();    /* writes out and closes, as at process exit */
}

} /* namespace */

int main()
{
    ScratchDir Dir;
    std::string const sOurs = Dir / "ours.txt";
    std::string const sTheirs = Dir / "stream.txt";
    double rOurs, rTheirs;
    BenchBestOfPair(5, [&] { WithLogger(sOurs); }, [&] { WithStreams(sTheirs); }, &rOurs, &rTheirs);
    auto Size = [](const std::string &sPath) {
        WIN32_FILE_ATTRIBUTE_DATA Data = {};
        GetFileAttributesExA(sPath.c_str(), GetFileExInfoStandard, &Data);
        return Data.nFileSizeLow;
    };
    bool const fSameSize = Size(sOurs) == Size(sTheirs);
    printf("log: %d prefixed lines to a buffered file: logger %.1f ms, RTStreamPrintf %.1f ms, time ratio %.2f"
           " (target <= 1.5)%s\n", kLines, rOurs * 1e3, rTheirs * 1e3, rOurs / rTheirs,
           fSameSize ? "" : " -- OUTPUT SIZES DIFFER");
    return 0;
}
