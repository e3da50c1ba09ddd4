/* Conversion of NT status values to status codes. */
#define WIN32_NO_STATUS
#include <windows.h>
#undef WIN32_NO_STATUS
#include <winternl.h>
#include <ntstatus.h>
#include "rt/err.h"
#include "rt/log.h"
#include "internal/log.h"

/* Where the release log reports an unmapped value from. */
static const char g_szConvertFile[]      = "Runtime/nt/RTErrConvertFromNtStatus.cpp";
static const char g_szConvertSignature[] = "int __cdecl RTErrConvertFromNtStatus(long)";

RTSTATUS RTErrConvertFromNtStatus(int32_t rcNt)
{
    switch (rcNt)
    {
        case STATUS_SUCCESS:
            return INF_SUCCESS;
        case STATUS_INVALID_PARAMETER:
        case STATUS_INVALID_PARAMETER_1:
        case STATUS_INVALID_PARAMETER_2:
        case STATUS_INVALID_PARAMETER_3:
        case STATUS_INVALID_PARAMETER_4:
        case STATUS_INVALID_PARAMETER_5:
        case STATUS_INVALID_PARAMETER_6:
        case STATUS_INVALID_PARAMETER_7:
        case STATUS_INVALID_PARAMETER_8:
        case STATUS_INVALID_PARAMETER_9:
        case STATUS_INVALID_PARAMETER_10:
        case STATUS_INVALID_PARAMETER_11:
        case STATUS_INVALID_PARAMETER_12:
            return ERR_BAD_ARGUMENT;
        case STATUS_INVALID_HANDLE:
            return ERR_BAD_HANDLE;
        case STATUS_DATATYPE_MISALIGNMENT:
        case STATUS_ACCESS_VIOLATION:
            return ERR_BAD_POINTER;
        case STATUS_NO_MEMORY:
            return ERR_OUT_OF_MEMORY;
        case STATUS_INVALID_INFO_CLASS:
            return ERR_BAD_FUNCTION;
        case STATUS_ACCESS_DENIED:
            return ERR_ACCESS_REFUSED;
        case STATUS_USER_APC:
        case STATUS_ALERTED:
            return ERR_CALL_INTERRUPTED;
        case STATUS_LOGON_FAILURE:
            return ERR_AUTH_FAILED;
        case STATUS_NO_SUCH_DEVICE:
        case STATUS_NO_SUCH_FILE:
        case STATUS_OBJECT_NAME_NOT_FOUND:
            return ERR_FILE_MISSING;
        case STATUS_OBJECT_PATH_NOT_FOUND:
            return ERR_PATH_MISSING;
        case STATUS_OBJECT_NAME_INVALID:
        case STATUS_OBJECT_PATH_INVALID:
        case STATUS_OBJECT_PATH_SYNTAX_BAD:
            return ERR_BAD_NAME;
        case STATUS_SHARING_VIOLATION:
            return ERR_SHARING_CONFLICT;
        case STATUS_DIRECTORY_NOT_EMPTY:
            return ERR_DIRECTORY_HAS_ENTRIES;
        case STATUS_NOT_A_DIRECTORY:
            return ERR_NOT_DIRECTORY;
        case STATUS_FILE_IS_A_DIRECTORY:
            return ERR_IS_DIRECTORY;
        case STATUS_OBJECT_TYPE_MISMATCH:
            return ERR_WRONG_OBJECT_TYPE;
        case STATUS_REPARSE_POINT_NOT_RESOLVED:
            return ERR_LINK_LOOP;
        case STATUS_NO_MEDIA_IN_DEVICE:
            return ERR_MEDIUM_ABSENT;
        case STATUS_NO_MORE_FILES:
        case STATUS_NO_MORE_ENTRIES:
            return ERR_ENUMERATION_DONE;
        case STATUS_INVALID_DEVICE_REQUEST:
            return ERR_DEVICE_COMMAND_INVALID;
        case STATUS_UNEXPECTED_NETWORK_ERROR:
            return ERR_NETWORK_FAULT;
        case STATUS_BAD_NETWORK_PATH:
            return ERR_NETWORK_NAME_INVALID;
        case STATUS_INVALID_IMAGE_HASH:
            return ERR_IMAGE_HASH_REJECTED;
        case STATUS_TRUST_FAILURE:
            return ERR_TRUST_VERIFICATION_FAILED;
        default:
            break;
    }

    /* A value nobody mapped is worth a release-log entry: it tells us which mapping to add.
     * Without a release logger the conversion stays silent. */
    rtLogRelAssert(g_szConvertFile, __LINE__, g_szConvertSignature, nullptr, "Unhandled error %#lx (%lu)\n",
                   static_cast<unsigned long>(static_cast<uint32_t>(rcNt)),
                   static_cast<unsigned long>(static_cast<uint32_t>(rcNt)));
    return ERR_UNMAPPED_NATIVE_ERROR;
}
