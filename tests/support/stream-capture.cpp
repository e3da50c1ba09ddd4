/* Test support: message streams captured in files. */
#include "stream-capture.h"
#include <windows.h>
#include <fstream>
#include <sstream>
#include <stdexcept>

StreamCapture::StreamCapture(PRTSTREAM *ppTarget)
    : m_ppTarget(ppTarget), m_pSaved(*ppTarget)
{
    char szDir[MAX_PATH], szFile[MAX_PATH];
    if (!GetTempPathA(sizeof(szDir), szDir) || !GetTempFileNameA(szDir, "cap", 0, szFile))
        throw std::runtime_error("no temporary file for the capture");
    m_strPath = szFile;
    /* Streams on paths live until process exit; each capture gets its own file. */
    if (   RT_FAILURE(RTStreamOpenPath(szFile, "w", &m_pStream))
        || RT_FAILURE(RTStreamSetBuffering(m_pStream, RTSTREAMBUF_NONE)))
        throw std::runtime_error("cannot open the capture stream");
    *m_ppTarget = m_pStream;
}

StreamCapture::~StreamCapture()
{
    *m_ppTarget = m_pSaved;
}

std::string StreamCapture::Text() const
{
    std::ifstream in(m_strPath, std::ios::binary);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string StreamCapture::TakeNew()
{
    std::string const strAll = Text();
    std::string strNew = strAll.substr(m_cbTaken);
    m_cbTaken = strAll.size();
    return strNew;
}
