/* Conversion of NT status values to status codes: a table sorted at compile time and a
 * binary search over 16-bit keys: far smaller than a switch over scattered 32-bit values. */
#define WIN32_NO_STATUS
#include <windows.h>
#undef WIN32_NO_STATUS
#include <winternl.h>
#include <ntstatus.h>
#include "rt/err.h"
#include "rt/log.h"
#include "internal/log.h"
#include "internal/sorted-search.h"

namespace {

/* Where the release log reports an unmapped value from. */
constexpr char g_szConvertFile[]      = "Runtime/nt/RTErrConvertFromNtStatus.cpp";
constexpr char g_szConvertSignature[] = "int __cdecl RTErrConvertFromNtStatus(long)";

struct RTNTERRMAP
{
    uint32_t uNtStatus;
    RTSTATUS rc;
};

/** Grouped by status, in any order within; sorted below. */
constexpr RTNTERRMAP g_aNtErrMap[] =
{
    { static_cast<uint32_t>(STATUS_SUCCESS),                    INF_SUCCESS },
    { static_cast<uint32_t>(STATUS_INVALID_PARAMETER),          ERR_BAD_ARGUMENT },
    { static_cast<uint32_t>(STATUS_INVALID_PARAMETER_1),        ERR_BAD_ARGUMENT },
    { static_cast<uint32_t>(STATUS_INVALID_PARAMETER_2),        ERR_BAD_ARGUMENT },
    { static_cast<uint32_t>(STATUS_INVALID_PARAMETER_3),        ERR_BAD_ARGUMENT },
    { static_cast<uint32_t>(STATUS_INVALID_PARAMETER_4),        ERR_BAD_ARGUMENT },
    { static_cast<uint32_t>(STATUS_INVALID_PARAMETER_5),        ERR_BAD_ARGUMENT },
    { static_cast<uint32_t>(STATUS_INVALID_PARAMETER_6),        ERR_BAD_ARGUMENT },
    { static_cast<uint32_t>(STATUS_INVALID_PARAMETER_7),        ERR_BAD_ARGUMENT },
    { static_cast<uint32_t>(STATUS_INVALID_PARAMETER_8),        ERR_BAD_ARGUMENT },
    { static_cast<uint32_t>(STATUS_INVALID_PARAMETER_9),        ERR_BAD_ARGUMENT },
    { static_cast<uint32_t>(STATUS_INVALID_PARAMETER_10),       ERR_BAD_ARGUMENT },
    { static_cast<uint32_t>(STATUS_INVALID_PARAMETER_11),       ERR_BAD_ARGUMENT },
    { static_cast<uint32_t>(STATUS_INVALID_PARAMETER_12),       ERR_BAD_ARGUMENT },
    { static_cast<uint32_t>(STATUS_INVALID_HANDLE),             ERR_BAD_HANDLE },
    { static_cast<uint32_t>(STATUS_DATATYPE_MISALIGNMENT),      ERR_BAD_POINTER },
    { static_cast<uint32_t>(STATUS_ACCESS_VIOLATION),           ERR_BAD_POINTER },
    { static_cast<uint32_t>(STATUS_NO_MEMORY),                  ERR_OUT_OF_MEMORY },
    { static_cast<uint32_t>(STATUS_INVALID_INFO_CLASS),         ERR_BAD_FUNCTION },
    { static_cast<uint32_t>(STATUS_ACCESS_DENIED),              ERR_ACCESS_REFUSED },
    { static_cast<uint32_t>(STATUS_USER_APC),                   ERR_CALL_INTERRUPTED },
    { static_cast<uint32_t>(STATUS_ALERTED),                    ERR_CALL_INTERRUPTED },
    { static_cast<uint32_t>(STATUS_LOGON_FAILURE),              ERR_AUTH_FAILED },
    { static_cast<uint32_t>(STATUS_NO_SUCH_DEVICE),             ERR_FILE_MISSING },
    { static_cast<uint32_t>(STATUS_NO_SUCH_FILE),               ERR_FILE_MISSING },
    { static_cast<uint32_t>(STATUS_OBJECT_NAME_NOT_FOUND),      ERR_FILE_MISSING },
    { static_cast<uint32_t>(STATUS_OBJECT_PATH_NOT_FOUND),      ERR_PATH_MISSING },
    { static_cast<uint32_t>(STATUS_OBJECT_NAME_INVALID),        ERR_BAD_NAME },
    { static_cast<uint32_t>(STATUS_OBJECT_PATH_INVALID),        ERR_BAD_NAME },
    { static_cast<uint32_t>(STATUS_OBJECT_PATH_SYNTAX_BAD),     ERR_BAD_NAME },
    { static_cast<uint32_t>(STATUS_SHARING_VIOLATION),          ERR_SHARING_CONFLICT },
    { static_cast<uint32_t>(STATUS_DIRECTORY_NOT_EMPTY),        ERR_DIRECTORY_HAS_ENTRIES },
    { static_cast<uint32_t>(STATUS_NOT_A_DIRECTORY),            ERR_NOT_DIRECTORY },
    { static_cast<uint32_t>(STATUS_FILE_IS_A_DIRECTORY),        ERR_IS_DIRECTORY },
    { static_cast<uint32_t>(STATUS_OBJECT_TYPE_MISMATCH),       ERR_WRONG_OBJECT_TYPE },
    { static_cast<uint32_t>(STATUS_REPARSE_POINT_NOT_RESOLVED), ERR_LINK_LOOP },
    { static_cast<uint32_t>(STATUS_NO_MEDIA_IN_DEVICE),         ERR_MEDIUM_ABSENT },
    { static_cast<uint32_t>(STATUS_NO_MORE_FILES),              ERR_ENUMERATION_DONE },
    { static_cast<uint32_t>(STATUS_NO_MORE_ENTRIES),            ERR_ENUMERATION_DONE },
    { static_cast<uint32_t>(STATUS_INVALID_DEVICE_REQUEST),     ERR_DEVICE_COMMAND_INVALID },
    { static_cast<uint32_t>(STATUS_UNEXPECTED_NETWORK_ERROR),   ERR_NETWORK_FAULT },
    { static_cast<uint32_t>(STATUS_BAD_NETWORK_PATH),           ERR_NETWORK_NAME_INVALID },
    { static_cast<uint32_t>(STATUS_INVALID_IMAGE_HASH),         ERR_IMAGE_HASH_REJECTED },
    { static_cast<uint32_t>(STATUS_TRUST_FAILURE),              ERR_TRUST_VERIFICATION_FAILED },
};

constexpr size_t RTNTERR_COUNT = RT_ELEMENTS(g_aNtErrMap);

/** Every listed value has zero in bits 14-29 (the facility and the high code bits): its two
 *  severity bits and its low 14 bits make a 16-bit key that is unique among such values. */
constexpr uint32_t RTNTERR_KEY_ZERO_MASK = 0x3FFFC000u;

constexpr uint16_t rtNtErrKey(uint32_t uNtStatus)
{
    return static_cast<uint16_t>(((uNtStatus >> 16) & 0xC000u) | (uNtStatus & 0x3FFFu));
}

/** A key row (rtSortedKeyRow) for each value, in ascending order. */
struct RTNTERRTABLE
{
    uint32_t auRows[RTNTERR_COUNT];
};

constexpr RTNTERRTABLE rtNtErrSortTable()
{
    RTNTERRTABLE Table{};
    for (size_t i = 0; i < RTNTERR_COUNT; i++)
        rtSortedInsert(Table.auRows, i, rtSortedKeyRow(rtNtErrKey(g_aNtErrMap[i].uNtStatus), g_aNtErrMap[i].rc));
    return Table;
}

constexpr RTNTERRTABLE g_NtErrTable = rtNtErrSortTable();

constexpr bool rtNtErrTableSound()
{
    for (const RTNTERRMAP &Map : g_aNtErrMap)
        if ((Map.uNtStatus & RTNTERR_KEY_ZERO_MASK) || Map.rc != Map.rc % 32768)
            return false;
    for (size_t i = 1; i < RTNTERR_COUNT; i++)
        if (g_NtErrTable.auRows[i - 1] >> 16 >= g_NtErrTable.auRows[i] >> 16)
            return false;
    return true;
}
static_assert(rtNtErrTableSound(), "every value folds to a 16-bit key, every status fits 16 bits, "
                                   "and no value is listed twice");
static_assert(sizeof(RTNTERRTABLE) == RTNTERR_COUNT * 4, "four bytes a value");

} /* namespace */

RTSTATUS RTErrConvertFromNtStatus(int32_t rcNt)
{
    uint32_t const uNtStatus = static_cast<uint32_t>(rcNt);
    if (!(uNtStatus & RTNTERR_KEY_ZERO_MASK))
    {
        RTSTATUS const rc = rtSortedKeyRowFind(g_NtErrTable.auRows, rtNtErrKey(uNtStatus), ERR_UNMAPPED_NATIVE_ERROR);
        if (rc != ERR_UNMAPPED_NATIVE_ERROR)
            return rc;
    }

    /* A value nobody mapped is worth a release-log entry: it tells us which mapping to add.
     * Without a release logger the conversion stays silent. */
    rtLogRelAssert(g_szConvertFile, __LINE__, g_szConvertSignature, nullptr, "Unhandled error %#lx (%lu)\n",
                   static_cast<unsigned long>(uNtStatus), static_cast<unsigned long>(uNtStatus));
    return ERR_UNMAPPED_NATIVE_ERROR;
}
