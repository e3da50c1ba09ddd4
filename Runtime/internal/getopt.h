/* Pieces of the option parser shared by its files: the value families behind the types
 * other than strings, and the name matching they reuse. */
#pragma once
#include "rt/getopt.h"

/** The bit of a value type in RTGETOPTVALFAMILY::fTypes. */
constexpr uint32_t RTGETOPT_VALTYPE_BIT(uint32_t uType)
{
    return UINT32_C(1) << uType;
}
static_assert(OPTVAL_TYPE_MASK < 32, "every value type has a bit of its own");

/** Converts a value of one of the family's types into @a pValue. Returns INF_SUCCESS,
 *  ERR_OPTION_VALUE_MALFORMED, or ERR_OPTION_UNKNOWN for a word that names no value
 *  (the parser then reports the word as an unknown option). */
typedef RTSTATUS FNRTGETOPTCONVERT(uint32_t fKind, const char *pszValue, RTOPTVALUE *pValue);

struct RTGETOPTVALFAMILY
{
    uint32_t           fTypes;      /**< RTGETOPT_VALTYPE_BIT of each type converted */
    FNRTGETOPTCONVERT *pfnConvert;
};

inline char rtGetOptFold(char ch)
{
    return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
}

/** Compares an argument with an option name, at most @a cchLimit name characters; a '-'
 *  in the name also matches a Unicode dash, and @a fNoCase folds ASCII letters.
 *  Returns the argument bytes matched, or -1 on a mismatch. */
ptrdiff_t rtGetOptMatch(const char *pszName, const char *pszArg, size_t cchLimit, bool fNoCase);
