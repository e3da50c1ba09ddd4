/* Test support: everything a handle yields until end of file or a closed pipe. */
#pragma once
#include <windows.h>
#include <string>

/** Appends what @p h yields to @p out until end of file, a pipe whose writers are all
 *  closed, or an error. */
inline void ReadToEnd(HANDLE h, std::string &out)
{
    char buf[4096];
    DWORD cb;
    while (ReadFile(h, buf, sizeof(buf), &cb, nullptr) && cb)
        out.append(buf, cb);
}
