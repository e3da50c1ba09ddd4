/* Output callbacks for the status text tests. */
#pragma once
#include <string>

/** Appends every piece to the std::string the user argument points at. */
inline size_t CollectOutput(void *pvUser, const char *pch, size_t cch)
{
    if (cch)
        static_cast<std::string *>(pvUser)->append(pch, cch);
    return cch;
}

/** Reports nothing taken: callers must sum what the callback returns, not what they sent. */
inline size_t TakeNothing(void *, const char *, size_t)
{
    return 0;
}
