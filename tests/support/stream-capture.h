/* Test support: points one of the runtime's message stream pointers (g_pStreamStdErr,
 * g_pStreamStdOut) at an unbuffered stream on a fresh file, so that a test sees the exact
 * bytes a message produced, line-feed translation included. */
#pragma once
#include <string>
#include "rt/stream.h"

class StreamCapture
{
public:
    explicit StreamCapture(PRTSTREAM *ppTarget);
    ~StreamCapture();
    StreamCapture(const StreamCapture &) = delete;
    StreamCapture &operator=(const StreamCapture &) = delete;

    /** Everything written so far. */
    std::string Text() const;
    /** What was written since the last call. */
    std::string TakeNew();
    /** The stream itself, for writing to it directly. */
    PRTSTREAM Stream() const { return m_pStream; }

private:
    PRTSTREAM *m_ppTarget;
    PRTSTREAM  m_pSaved;
    PRTSTREAM  m_pStream = nullptr;
    std::string m_strPath;
    size_t      m_cbTaken = 0;
};
