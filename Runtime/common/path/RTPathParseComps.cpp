/* Splitting a path into its root and components (RTPathParseComps). */
#include "internal/path.h"

namespace {

/** Fills the header and as many components as fit; knows nothing of the caller's checks. */
class RTPATHPARSER
{
public:
    RTPATHPARSER(const char *psz, RTPATHCOMPS *pComps, size_t cMaxComps, uint32_t fStyle)
        : m_psz(psz), m_pComps(pComps), m_cMaxComps(cMaxComps), m_fStyle(fStyle) {}

    RTSTATUS parse()
    {
        size_t off = parseRoot();
        if (off > RTPATH_MAX_OFFSET)
            return ERR_FILENAME_TOO_LONG;
        size_t cchTotal = 0;
        if (m_cComps)
        {
            cchTotal = m_pComps->aComps[0].cch;
            if (isSep(m_psz[off]))
            {
                m_fProps |= RTPPROP_EXTRA_SLASHES;
                while (isSep(m_psz[off]))
                    off++;
            }
        }

        size_t offLast = 0, cchLast = 0;
        bool   fAnyComp = false;
        while (m_psz[off])
        {
            if (off > RTPATH_MAX_OFFSET)
                return ERR_FILENAME_TOO_LONG;
            size_t const offComp = off;
            while (m_psz[off] && !isSep(m_psz[off]))
                off++;
            if (off > RTPATH_MAX_OFFSET)
                return ERR_FILENAME_TOO_LONG;
            size_t const cch = off - offComp;
            addComp(offComp, cch);
            cchTotal += cch;
            examine(offComp, cch);
            offLast = offComp;
            cchLast = cch;
            fAnyComp = true;

            if (isSep(m_psz[off]))
            {
                size_t const offRun = off;
                while (isSep(m_psz[off]))
                    off++;
                if (off - offRun >= 2)
                    m_fProps |= RTPPROP_EXTRA_SLASHES;
                /* One separator between components, or one trailing separator. */
                cchTotal += 1;
                if (!m_psz[off])
                    m_fProps |= RTPPROP_DIR_SLASH;
            }
        }
        if (off > RTPATH_MAX_OFFSET)
            return ERR_FILENAME_TOO_LONG;

        uint16_t offSuffix = static_cast<uint16_t>(off);
        uint16_t cchSuffix = 0;
        if (fAnyComp && !(m_fProps & RTPPROP_DIR_SLASH))
        {
            m_fProps |= RTPPROP_FILENAME;
            /* The first byte of a name never starts a suffix (".profile"), and a name ending
             * in a dot has none. */
            for (size_t i = cchLast; i-- > 1;)
                if (m_psz[offLast + i] == '.')
                {
                    if (i != cchLast - 1)
                    {
                        offSuffix = static_cast<uint16_t>(offLast + i);
                        cchSuffix = static_cast<uint16_t>(cchLast - i);
                        m_fProps |= RTPPROP_SUFFIX;
                    }
                    break;
                }
        }

        m_pComps->cComps    = static_cast<uint16_t>(m_cComps);
        m_pComps->fProps    = m_fProps;
        m_pComps->cchPath   = static_cast<uint16_t>(cchTotal);
        m_pComps->offSuffix = offSuffix;
        m_pComps->cchSuffix = cchSuffix;
        return m_cComps > m_cMaxComps ? ERR_BUFFER_TOO_SMALL : INF_SUCCESS;
    }

private:
    bool isSep(char ch) const { return rtPathIsSep(ch, m_fStyle); }

    void addComp(size_t off, size_t cch)
    {
        if (m_cComps < m_cMaxComps)
        {
            m_pComps->aComps[m_cComps].off = static_cast<uint16_t>(off);
            m_pComps->aComps[m_cComps].cch = static_cast<uint16_t>(cch);
        }
        m_cComps++;
    }

    void examine(size_t off, size_t cch)
    {
        if (m_psz[off] != '.')
            return;
        if (cch == 1)
            m_fProps |= RTPPROP_DOT;
        else if (cch == 2 && m_psz[off + 1] == '.')
            m_fProps = static_cast<uint16_t>((m_fProps & ~RTPPROP_ABSOLUTE) | RTPPROP_DOTDOT | RTPPROP_RELATIVE);
    }

    /** Sets the root's properties and component; returns the offset after the root. */
    size_t parseRoot()
    {
        const char *psz = m_psz;
        size_t cchRoot = 0;
        if ((m_fStyle & RTPSTYLE_MASK) == RTPSTYLE_UNIX)
        {
            if (psz[0] == '/')
            {
                cchRoot = 1;
                m_fProps = RTPPROP_ABSOLUTE | RTPPROP_ROOT_SLASH;
            }
            else
                m_fProps = RTPPROP_RELATIVE;
        }
        else if (isSep(psz[0]) && !isSep(psz[1]))
        {
            cchRoot = 1;
            m_fProps = RTPPROP_RELATIVE | RTPPROP_ROOT_SLASH;
        }
        else if (isSep(psz[0]))
        {
            size_t off = 2;
            while (psz[off] && !isSep(psz[off]) && off <= RTPATH_MAX_OFFSET)
                off++;
            m_fProps = RTPPROP_ABSOLUTE | RTPPROP_UNC;
            if (off == 3 && (psz[2] == '.' || psz[2] == '?'))
                m_fProps |= RTPPROP_SPECIAL_UNC;
            if (isSep(psz[off]))
            {
                off++;
                m_fProps |= RTPPROP_ROOT_SLASH;
            }
            cchRoot = off;
        }
        else if (rtPathHasDrive(psz))
        {
            if (isSep(psz[2]))
            {
                cchRoot = 3;
                m_fProps = RTPPROP_ABSOLUTE | RTPPROP_VOLUME | RTPPROP_ROOT_SLASH;
            }
            else
            {
                cchRoot = 2;
                m_fProps = RTPPROP_RELATIVE | RTPPROP_VOLUME;
            }
        }
        else
            m_fProps = RTPPROP_RELATIVE;

        if (cchRoot)
            addComp(0, cchRoot);
        return cchRoot;
    }

    const char  *m_psz;
    RTPATHCOMPS *m_pComps;
    size_t       m_cMaxComps;
    uint32_t     m_fStyle;
    size_t       m_cComps = 0;
    uint16_t     m_fProps = 0;
};

} /* namespace */

RTSTATUS RTPathParseComps(const char *pszPath, RTPATHCOMPS *pComps, size_t cbComps, uint32_t fStyle)
{
    if (cbComps < RTPATHCOMPS_SIZE(0))
        return ERR_BAD_ARGUMENT;
    if (!RT_VALID_PTR(pszPath) || !RT_VALID_PTR(pComps))
        return ERR_BAD_POINTER;
    if (!*pszPath)
        return ERR_PATH_EMPTY;
    if ((fStyle & ~RTPSTYLE_MASK) || !rtPathStyleValid(fStyle))
        return ERR_BAD_FLAGS;

    size_t cMaxComps = (cbComps - RTPATHCOMPS_SIZE(0)) / sizeof(RTPATHCOMP);
    if (cMaxComps > RTPATHCOMPS_MAX)
        cMaxComps = RTPATHCOMPS_MAX;
    return RTPATHPARSER(pszPath, pComps, cMaxComps, fStyle).parse();
}
