/* RTPathAbsEx against the platform's GetFullPathNameW over a generated corpus of DOS paths. */
#include <gtest/gtest.h>
#include <string>
#include <windows.h>
#include "rt/path.h"
#include "internal/path.h"
#include "path-corpus.h"

namespace {

/** What RTPathAbsEx gives where the platform's answer is @a strRef. Three differences are
 *  deliberate:
 *   - the drive letter is upper-cased (the platform keeps it as written);
 *   - runs of separators after a UNC share collapse to one (the platform keeps them);
 *   - a UNC path left with nothing after its share ends with a separator only when the path
 *     was written with a trailing one (the platform always adds one). */
std::string AbsExFromPlatform(const std::string &strPath, std::string strRef)
{
    if (strRef.size() >= 2 && strRef[1] == ':')
        strRef[0] = static_cast<char>(toupper(strRef[0]));
    if (strRef.rfind("\\\\", 0) != 0)
        return strRef;
    std::string strOut = "\\\\";
    for (size_t off = 2; off < strRef.size(); off++)
        if (strRef[off] != '\\' || strOut.back() != '\\')
            strOut += strRef[off];
    bool const fPathSlash = rtPathIsAnySep(strPath.back());
    size_t cSeps = 0;
    for (char ch : strOut)
        cSeps += ch == '\\';
    if (cSeps == 4 && strOut.back() == '\\' && !fPathSlash)
        strOut.pop_back();
    return strOut;
}

TEST(PathDiff, AbsExAgainstGetFullPathName)
{
    unsigned cPaths = 0;
    for (const std::string &strPath : DosPathCorpus())
    {
        SCOPED_TRACE(strPath);
        std::wstring const wstrPath(strPath.begin(), strPath.end());
        wchar_t wsz[1024];
        DWORD const cwc = GetFullPathNameW(wstrPath.c_str(), RT_ELEMENTS(wsz), wsz, nullptr);
        ASSERT_GT(cwc, 0u);
        ASSERT_LT(cwc, RT_ELEMENTS(wsz));
        std::string const strRef(wsz, wsz + cwc);

        char sz[1024];
        size_t cb = sizeof(sz);
        ASSERT_EQ(RTPathAbsEx(nullptr, strPath.c_str(), RTPSTYLE_DOS, sz, &cb), INF_SUCCESS);
        EXPECT_EQ(std::string(sz), AbsExFromPlatform(strPath, strRef)) << "platform: " << strRef;
        cPaths++;
    }
    EXPECT_GT(cPaths, 2000u);
}

} /* namespace */
