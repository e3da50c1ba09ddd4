/* Test support: a generated corpus of DOS paths (drives, UNC roots, ".", "..", repeated and
 * trailing separators), shared by the path tests and the path benchmark. */
#pragma once
#include <set>
#include <string>
#include <vector>

/** Every combination of a root, up to three components and a separator style. */
inline std::vector<std::string> DosPathCorpus()
{
    static const char *const s_apszRoots[] = {
        "", "C:\\", "c:/", "C:", "\\", "/", "\\\\srv\\share\\", "//srv/share/", "\\\\srv\\share",
    };
    static const char *const s_apszComps[] = { "a", "bb", ".", ".." };
    static const char *const s_apszSeps[] = { "\\", "/", "\\\\", "/\\" };
    std::set<std::string> Corpus;
    for (const char *pszRoot : s_apszRoots)
        for (unsigned cComps = 0; cComps <= 3; cComps++)
        {
            unsigned cCombos = 1;
            for (unsigned i = 0; i < cComps; i++)
                cCombos *= 4;
            for (unsigned iCombo = 0; iCombo < cCombos; iCombo++)
                for (unsigned iSep = 0; iSep < 4; iSep++)
                    for (int fTrailing = 0; fTrailing < 2; fTrailing++)
                    {
                        std::string str = pszRoot;
                        /* A root without separator ("C:", "\\srv\share") needs one before a
                         * component, unless it is a bare drive. */
                        bool fNeedSep = !str.empty() && str.back() != '\\' && str.back() != '/' && str != "C:";
                        unsigned u = iCombo;
                        for (unsigned i = 0; i < cComps; i++, u /= 4)
                        {
                            if (i > 0 || fNeedSep)
                                str += s_apszSeps[iSep];
                            str += s_apszComps[u % 4];
                        }
                        if (fTrailing && cComps)
                            str += s_apszSeps[iSep];
                        if (!str.empty())
                            Corpus.insert(str);
                    }
        }
    return std::vector<std::string>(Corpus.begin(), Corpus.end());
}
