/* Parsing paths into their root and components, and rebuilding them. */
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "rt/path.h"

namespace {

constexpr uint16_t ABS = RTPPROP_ABSOLUTE, REL = RTPPROP_RELATIVE, VOL = RTPPROP_VOLUME,
                   RSL = RTPPROP_ROOT_SLASH, UNC = RTPPROP_UNC, SPC = RTPPROP_SPECIAL_UNC,
                   FN = RTPPROP_FILENAME, DSL = RTPPROP_DIR_SLASH, SFX = RTPPROP_SUFFIX,
                   XSL = RTPPROP_EXTRA_SLASHES, DOT = RTPPROP_DOT, DD = RTPPROP_DOTDOT;

/** A record with room for many components, and the components as strings. */
struct Parsed
{
    RTSTATUS rc;
    union { RTPATHCOMPS Comps; uint8_t ab[4096]; } u;
    Parsed(const char *psz, uint32_t fStyle) { rc = RTPathParseComps(psz, &u.Comps, sizeof(u), fStyle); }
    std::vector<std::string> comps(const char *psz) const
    {
        std::vector<std::string> v;
        for (unsigned i = 0; i < u.Comps.cComps; i++)
            v.emplace_back(psz + u.Comps.aComps[i].off, u.Comps.aComps[i].cch);
        return v;
    }
};

TEST(PathParse, RootsComponentsAndProperties)
{
    struct Case
    {
        const char *pszPath;
        uint32_t fStyle;
        std::vector<std::string> Comps;
        uint16_t fProps;
        uint16_t cchPath;
        const char *pszSuffix;
    };
    Case const aCases[] = {
        { "C:\\dir\\\\file.txt", RTPSTYLE_DOS, { "C:\\", "dir", "file.txt" }, ABS | VOL | RSL | XSL | FN | SFX, 15, ".txt" },
        { "C:",                  RTPSTYLE_DOS, { "C:" },                      REL | VOL, 2, "" },
        { "c:x.y",               RTPSTYLE_HOST, { "c:", "x.y" },              REL | VOL | FN | SFX, 5, ".y" },
        { "\\",                  RTPSTYLE_DOS, { "\\" },                      REL | RSL, 1, "" },
        { "/tmp//",              RTPSTYLE_DOS, { "/", "tmp" },                REL | RSL | DSL | XSL, 5, "" },
        { "\\\\server\\share\\x", RTPSTYLE_DOS, { "\\\\server\\", "share", "x" }, ABS | UNC | RSL | FN, 16, "" },
        { "//server",            RTPSTYLE_DOS, { "//server" },                ABS | UNC, 8, "" },
        { "\\\\server\\\\\\",    RTPSTYLE_DOS, { "\\\\server\\" },            ABS | UNC | RSL | XSL, 9, "" },
        { "\\\\?\\C:\\x",        RTPSTYLE_DOS, { "\\\\?\\", "C:", "x" },      ABS | UNC | SPC | RSL | FN, 8, "" },
        { "\\\\.\\pipe",         RTPSTYLE_DOS, { "\\\\.\\", "pipe" },         ABS | UNC | SPC | RSL | FN, 8, "" },
        { "\\\\..\\x",           RTPSTYLE_DOS, { "\\\\..\\", "x" },           ABS | UNC | RSL | FN, 6, "" },
        { "a/./b/../c.d.e",      RTPSTYLE_DOS, { "a", ".", "b", "..", "c.d.e" }, REL | DOT | DD | FN | SFX, 14, ".e" },
        { "C:\\a\\..",           RTPSTYLE_DOS, { "C:\\", "a", ".." },         REL | VOL | RSL | DD | FN, 7, "" },
        { "\\\\s\\h\\..\\x",     RTPSTYLE_DOS, { "\\\\s\\", "h", "..", "x" }, REL | UNC | RSL | DD | FN, 10, "" },
        /* A dot that starts or ends the name is no suffix; the last dot wins otherwise. */
        { "dir\\.profile",       RTPSTYLE_DOS, { "dir", ".profile" },         REL | FN, 12, "" },
        { "name.",               RTPSTYLE_DOS, { "name." },                   REL | FN, 5, "" },
        { "..x",                 RTPSTYLE_DOS, { "..x" },                     REL | FN | SFX, 3, ".x" },
        { "a.b\\",               RTPSTYLE_DOS, { "a.b" },                     REL | DSL, 4, "" },
        /* Unix style: only '/' separates, no drives, no UNC. */
        { "//a\\b.c",            RTPSTYLE_UNIX, { "/", "a\\b.c" },            ABS | RSL | XSL | FN | SFX, 6, ".c" },
        { "C:/x/",               RTPSTYLE_UNIX, { "C:", "x" },                REL | DSL, 5, "" },
        { "/",                   RTPSTYLE_UNIX, { "/" },                      ABS | RSL, 1, "" },
        { "a/../b",              RTPSTYLE_UNIX, { "a", "..", "b" },           REL | DD | FN, 6, "" },
    };
    for (const Case &c : aCases)
    {
        SCOPED_TRACE(c.pszPath);
        Parsed P(c.pszPath, c.fStyle);
        ASSERT_EQ(P.rc, INF_SUCCESS);
        EXPECT_EQ(P.comps(c.pszPath), c.Comps);
        EXPECT_EQ(P.u.Comps.fProps, c.fProps);
        EXPECT_EQ(P.u.Comps.cchPath, c.cchPath);
        std::string const strSuffix(c.pszPath + P.u.Comps.offSuffix, P.u.Comps.cchSuffix);
        EXPECT_EQ(strSuffix, c.pszSuffix);
        if (!*c.pszSuffix)
            EXPECT_EQ(P.u.Comps.offSuffix, strlen(c.pszPath));
    }
}

TEST(PathParse, SmallRecordKeepsHeaderAndStoresWhatFits)
{
    const char *pszPath = "C:\\a\\b\\c\\d.txt";
    union { RTPATHCOMPS Comps; uint8_t ab[64]; } u;
    memset(&u, 0xEE, sizeof(u));
    size_t const cb = RTPATHCOMPS_SIZE(2);
    EXPECT_EQ(RTPathParseComps(pszPath, &u.Comps, cb, RTPSTYLE_DOS), ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(u.Comps.cComps, 5);
    EXPECT_EQ(u.Comps.fProps, ABS | VOL | RSL | FN | SFX);
    EXPECT_EQ(u.Comps.cchPath, strlen(pszPath));
    EXPECT_EQ(u.Comps.cchSuffix, 4);
    EXPECT_EQ(u.Comps.aComps[1].off, 3);
    for (size_t i = cb; i < sizeof(u); i++)
        ASSERT_EQ(u.ab[i], 0xEE) << "byte " << i << " written past the record";

    /* The documented retry size is enough. */
    std::vector<uint8_t> Big(u.Comps.cComps * 4 + 20);
    EXPECT_EQ(RTPathParseComps(pszPath, reinterpret_cast<RTPATHCOMPS *>(Big.data()), Big.size(), RTPSTYLE_DOS), INF_SUCCESS);

    /* A bare header still reports the count. */
    EXPECT_EQ(RTPathParseComps(pszPath, &u.Comps, 12, RTPSTYLE_DOS), ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(u.Comps.cComps, 5);
}

TEST(PathParse, BadInput)
{
    union { RTPATHCOMPS Comps; uint8_t ab[64]; } u;
    EXPECT_EQ(RTPathParseComps("x", &u.Comps, 11, RTPSTYLE_DOS), ERR_BAD_ARGUMENT);
    EXPECT_EQ(RTPathParseComps(nullptr, &u.Comps, sizeof(u), RTPSTYLE_DOS), ERR_BAD_POINTER);
    EXPECT_EQ(RTPathParseComps(reinterpret_cast<const char *>(0x10), &u.Comps, sizeof(u), RTPSTYLE_DOS), ERR_BAD_POINTER);
    EXPECT_EQ(RTPathParseComps("x", nullptr, sizeof(u), RTPSTYLE_DOS), ERR_BAD_POINTER);
    EXPECT_EQ(RTPathParseComps("", &u.Comps, sizeof(u), RTPSTYLE_DOS), ERR_PATH_EMPTY);
    EXPECT_EQ(RTPathParseComps("x", &u.Comps, sizeof(u), 3), ERR_BAD_FLAGS);
    EXPECT_EQ(RTPathParseComps("x", &u.Comps, sizeof(u), RTPSTYLE_DOS | 4), ERR_BAD_FLAGS);
}

TEST(PathParse, OffsetsBeyond64KiB)
{
    union { RTPATHCOMPS Comps; uint8_t ab[64]; } u;
    std::string strPath(65535, 'a');
    EXPECT_EQ(RTPathParseComps(strPath.c_str(), &u.Comps, sizeof(u), RTPSTYLE_DOS), INF_SUCCESS);
    EXPECT_EQ(u.Comps.cchPath, 65535);
    strPath += 'a';
    EXPECT_EQ(RTPathParseComps(strPath.c_str(), &u.Comps, sizeof(u), RTPSTYLE_DOS), ERR_FILENAME_TOO_LONG);
    /* A trailing separator run or a server name past the limit counts too. */
    std::string strSlashes = std::string(65530, 'a') + std::string(10, '\\');
    EXPECT_EQ(RTPathParseComps(strSlashes.c_str(), &u.Comps, sizeof(u), RTPSTYLE_DOS), ERR_FILENAME_TOO_LONG);
    std::string strServer = "\\\\" + std::string(65540, 's') + "\\x";
    EXPECT_EQ(RTPathParseComps(strServer.c_str(), &u.Comps, sizeof(u), RTPSTYLE_DOS), ERR_FILENAME_TOO_LONG);
}

TEST(PathBuild, RebuildNormalisesSeparators)
{
    struct { const char *pszPath; uint32_t fStyle; const char *pszBuilt; } const aCases[] = {
        { "C:/dir//x/",        RTPSTYLE_DOS,  "C:\\dir\\x\\" },
        { "//server/share",    RTPSTYLE_DOS,  "\\\\server\\share" },
        { "//server//",        RTPSTYLE_DOS,  "\\\\server\\" },
        { "c:x\\\\y",          RTPSTYLE_DOS,  "c:x\\y" },
        { "a//b\\c/",          RTPSTYLE_UNIX, "a/b\\c/" },
        { "///",               RTPSTYLE_UNIX, "/" },
    };
    for (const auto &c : aCases)
    {
        SCOPED_TRACE(c.pszPath);
        Parsed P(c.pszPath, c.fStyle);
        ASSERT_EQ(P.rc, INF_SUCCESS);
        char sz[64];
        EXPECT_EQ(RTPathBuildFromComps(c.pszPath, &P.u.Comps, c.fStyle, sz, sizeof(sz)), INF_SUCCESS);
        EXPECT_STREQ(sz, c.pszBuilt);
        EXPECT_EQ(P.u.Comps.cchPath, strlen(c.pszBuilt));
    }
}

TEST(PathBuild, SkipsEmptiedComponentsAndFitsExactly)
{
    const char *pszPath = "C:\\a\\b\\c\\";
    Parsed P(pszPath, RTPSTYLE_DOS);
    P.u.Comps.aComps[2].cch = 0;                 /* drop "b" */
    char sz[16];
    memset(sz, 'G', sizeof(sz));
    EXPECT_EQ(RTPathBuildFromComps(pszPath, &P.u.Comps, RTPSTYLE_DOS, sz, 8), INF_SUCCESS);
    EXPECT_STREQ(sz, "C:\\a\\c\\");
    EXPECT_EQ(sz[8], 'G');

    memset(sz, 'G', sizeof(sz));
    EXPECT_EQ(RTPathBuildFromComps(pszPath, &P.u.Comps, RTPSTYLE_DOS, sz, 7), ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(sz[0], '\0');
    EXPECT_EQ(sz[7], 'G');

    /* With every component after the root gone, no trailing separator is added. */
    P.u.Comps.aComps[1].cch = P.u.Comps.aComps[3].cch = 0;
    EXPECT_EQ(RTPathBuildFromComps(pszPath, &P.u.Comps, RTPSTYLE_DOS, sz, sizeof(sz)), INF_SUCCESS);
    EXPECT_STREQ(sz, "C:\\");

    P.u.Comps.cComps = 0;
    EXPECT_EQ(RTPathBuildFromComps(pszPath, &P.u.Comps, RTPSTYLE_DOS, sz, sizeof(sz)), ERR_BAD_ARGUMENT);
}

} /* namespace */
