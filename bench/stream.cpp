/* Formatted output of many short lines to a file: the stream module against the C
 * runtime's fprintf on a text-mode file, both translating line feeds. */
#include <stdio.h>
#include <string>
#include "bench-timer.h"
#include "rt/stream.h"

namespace {

constexpr int kLines = 100000;

std::string TempFile(const char *pszName)
{
    char szDir[MAX_PATH];
    GetTempPathA(sizeof(szDir), szDir);
    return std::string(szDir) + pszName;
}

void WithStreams(const std::string &sPath)
{
    PRTSTREAM pStream = nullptr;
    if (RTStreamOpenPath(sPath.c_str(), "w", &pStream) < 0)
        return;
    for (int i = 0; i < kLines; i++)
        RTStreamPrintf(pStream, "line %d: %s value=%x\n", i, "some text", i * 7);
    RTStreamTerminate();    /* writes out and closes, as at process exit */
}

void WithFprintf(const std::string &sPath)
{
    FILE *pFile = fopen(sPath.c_str(), "w");
    if (!pFile)
        return;
    for (int i = 0; i < kLines; i++)
        fprintf(pFile, "line %d: %s value=%x\n", i, "some text", i * 7);
    fclose(pFile);
}

} /* namespace */

int main()
{
    std::string const sOurs = TempFile("nimb-bench-stream-ours.txt");
    std::string const sTheirs = TempFile("nimb-bench-stream-crt.txt");
    double rOurs, rTheirs;
    BenchBestOfPair(5, [&] { WithStreams(sOurs); }, [&] { WithFprintf(sTheirs); }, &rOurs, &rTheirs);
    /* The comparison only counts if both wrote the same bytes. */
    auto Slurp = [](const std::string &sPath) {
        std::string s;
        if (FILE *pFile = fopen(sPath.c_str(), "rb"))
        {
            char ab[65536];
            size_t cb;
            while ((cb = fread(ab, 1, sizeof(ab), pFile)) > 0)
                s.append(ab, cb);
            fclose(pFile);
        }
        return s;
    };
    bool const fSame = Slurp(sOurs) == Slurp(sTheirs);
    printf("stream: %d lines to a file: RTStreamPrintf %.1f ms, fprintf %.1f ms, time ratio %.2f (target <= 1.0)%s\n",
           kLines, rOurs * 1e3, rTheirs * 1e3, rOurs / rTheirs, fSame ? "" : " -- OUTPUT DIFFERS");
    DeleteFileA(sOurs.c_str());
    DeleteFileA(sTheirs.c_str());
    return 0;
}
