/* Conversion of Win32 and Winsock error codes (and the few HRESULT and NT values that reach
 * callers through the last-error value) to status codes. A table sorted at compile time and
 * a binary search: a few hundred bytes, where a switch of this spread compiles to a jump
 * table of several kilobytes with a relocation for every entry. */
#define WIN32_NO_STATUS
#include <windows.h>
#undef WIN32_NO_STATUS
#include <winternl.h>
#include <ntstatus.h>
#include "rt/err.h"
#include "internal/sorted-search.h"

/* Codes the toolchain's <winerror.h> does not define yet, under the platform's names. */
#ifndef ERROR_INVALID_IMAGE_HASH
# define ERROR_INVALID_IMAGE_HASH       577L
#endif
#ifndef ERROR_ELEVATION_REQUIRED
# define ERROR_ELEVATION_REQUIRED       740L
#endif
#ifndef ERROR_SMB_GUEST_LOGON_BLOCKED
# define ERROR_SMB_GUEST_LOGON_BLOCKED  1272L
#endif

namespace {

struct RTWINERRMAP
{
    uint32_t uNative;
    RTSTATUS rc;
};

/** Grouped by status, in any order within; sorted below. */
constexpr RTWINERRMAP g_aWinErrMap[] =
{
    { ERROR_SUCCESS,                           INF_SUCCESS },
    { ERROR_INVALID_PARAMETER,                 ERR_BAD_ARGUMENT },
    { ERROR_BAD_ARGUMENTS,                     ERR_BAD_ARGUMENT },
    { ERROR_INVALID_FLAGS,                     ERR_BAD_ARGUMENT },
    { WSAEINVAL,                               ERR_BAD_ARGUMENT },
    { ERROR_INVALID_HANDLE,                    ERR_BAD_HANDLE },
    { ERROR_DIRECT_ACCESS_HANDLE,              ERR_BAD_HANDLE },
    { WSAEBADF,                                ERR_BAD_HANDLE },
    { ERROR_INVALID_ADDRESS,                   ERR_BAD_POINTER },
    { ERROR_NOACCESS,                          ERR_BAD_POINTER },
    { WSAEFAULT,                               ERR_BAD_POINTER },
    { ERROR_NOT_ENOUGH_MEMORY,                 ERR_OUT_OF_MEMORY },
    { ERROR_OUTOFMEMORY,                       ERR_OUT_OF_MEMORY },
    { ERROR_NO_SYSTEM_RESOURCES,               ERR_OUT_OF_MEMORY },
    { ERROR_SERVICE_ALREADY_RUNNING,           ERR_ALREADY_ACTIVE },
    { ERROR_NOT_A_REPARSE_POINT,               ERR_NOT_A_LINK },
    { ERROR_INVALID_FUNCTION,                  ERR_BAD_FUNCTION },
    { ERROR_NOT_SUPPORTED,                     ERR_UNSUPPORTED },
    { ERROR_ACCESS_DENIED,                     ERR_ACCESS_REFUSED },
    { WSAEACCES,                               ERR_ACCESS_REFUSED },
    { ERROR_OPERATION_ABORTED,                 ERR_CALL_INTERRUPTED },
    { WSAEINTR,                                ERR_CALL_INTERRUPTED },
    { ERROR_SEM_TIMEOUT,                       ERR_TIMED_OUT },
    { WAIT_TIMEOUT,                            ERR_TIMED_OUT },
    { ERROR_SERVICE_REQUEST_TIMEOUT,           ERR_TIMED_OUT },
    { ERROR_COUNTER_TIMEOUT,                   ERR_TIMED_OUT },
    { ERROR_TIMEOUT,                           ERR_TIMED_OUT },
    { WSAETIMEDOUT,                            ERR_TIMED_OUT },
    { ERROR_BUFFER_OVERFLOW,                   ERR_BUFFER_TOO_SMALL },
    { ERROR_INSUFFICIENT_BUFFER,               ERR_BUFFER_TOO_SMALL },
    { ERROR_MAX_THRDS_REACHED,                 ERR_THREAD_LIMIT },
    { ERROR_NO_PROC_SLOTS,                     ERR_PROCESS_LIMIT },
    { WSAEPROCLIM,                             ERR_PROCESS_LIMIT },
    { ERROR_SIGNAL_REFUSED,                    ERR_SIGNAL_REFUSED },
    { ERROR_NO_SIGNAL_SENT,                    ERR_SIGNAL_REFUSED },
    { ERROR_SIGNAL_PENDING,                    ERR_SIGNAL_PENDING },
    { ERROR_INVALID_SIGNAL_NUMBER,             ERR_BAD_SIGNAL_NUMBER },
    { RPC_S_INVALID_STRING_UUID,               ERR_UUID_MALFORMED },
    { WSAEWOULDBLOCK,                          ERR_RETRY_LATER },
    { WSATRY_AGAIN,                            ERR_RETRY_LATER },
    { ERROR_NO_UNICODE_TRANSLATION,            ERR_UNTRANSLATABLE_CHAR },
    { ERROR_CANCELLED,                         ERR_OPERATION_CANCELLED },
    { ERROR_SERVICE_DOES_NOT_EXIST,            ERR_ITEM_NOT_FOUND },
    { ERROR_NOT_FOUND,                         ERR_ITEM_NOT_FOUND },
    { ERROR_SMB_GUEST_LOGON_BLOCKED,           ERR_AUTH_FAILED },
    { ERROR_LOGON_FAILURE,                     ERR_AUTH_FAILED },
    { ERROR_TRUSTED_DOMAIN_FAILURE,            ERR_AUTH_FAILED },
    { ERROR_TRUSTED_RELATIONSHIP_FAILURE,      ERR_AUTH_FAILED },
    { ERROR_OPEN_FAILED,                       ERR_FILE_OPEN_FAILED },
    { ERROR_FILE_NOT_FOUND,                    ERR_FILE_MISSING },
    { ERROR_PATH_NOT_FOUND,                    ERR_PATH_MISSING },
    { ERROR_INVALID_NAME,                      ERR_BAD_NAME },
    { ERROR_BAD_PATHNAME,                      ERR_BAD_NAME },
    { ERROR_BAD_DEVICE,                        ERR_BAD_NAME },
    { ERROR_FILE_EXISTS,                       ERR_NAME_TAKEN },
    { ERROR_ALREADY_EXISTS,                    ERR_NAME_TAKEN },
    { ERROR_TOO_MANY_OPEN_FILES,               ERR_OPEN_FILE_LIMIT },
    { WSAEMFILE,                               ERR_OPEN_FILE_LIMIT },
    { ERROR_SEEK,                              ERR_SEEK_ERROR },
    { ERROR_NEGATIVE_SEEK,                     ERR_NEGATIVE_OFFSET },
    { ERROR_SEEK_ON_DEVICE,                    ERR_DEVICE_NOT_SEEKABLE },
    { ERROR_HANDLE_EOF,                        ERR_FILE_END_REACHED },
    { ERROR_READ_FAULT,                        ERR_DEVICE_READ_FAULT },
    { ERROR_WRITE_FAULT,                       ERR_DEVICE_WRITE_FAULT },
    { ERROR_WRITE_PROTECT,                     ERR_MEDIUM_WRITE_PROTECTED },
    { ERROR_SHARING_VIOLATION,                 ERR_SHARING_CONFLICT },
    { ERROR_USER_MAPPED_FILE,                  ERR_SHARING_CONFLICT },
    { ERROR_LOCK_FAILED,                       ERR_RANGE_LOCK_FAILED },
    { ERROR_LOCK_VIOLATION,                    ERR_RANGE_LOCK_CONFLICT },
    { ERROR_CANNOT_MAKE,                       ERR_CREATE_FAILED },
    { ERROR_CURRENT_DIRECTORY,                 ERR_DIR_REMOVAL_REFUSED },
    { WSAENOTEMPTY,                            ERR_DIR_REMOVAL_REFUSED },
    { ERROR_NOT_SAME_DEVICE,                   ERR_DIFFERENT_DEVICE },
    { ERROR_FILENAME_EXCED_RANGE,              ERR_FILENAME_TOO_LONG },
    { WSAENAMETOOLONG,                         ERR_FILENAME_TOO_LONG },
    { ERROR_UNRECOGNIZED_VOLUME,               ERR_VOLUME_UNRECOGNISED },
    { ERROR_NOT_LOCKED,                        ERR_RANGE_NOT_LOCKED },
    { ERROR_DIR_NOT_EMPTY,                     ERR_DIRECTORY_HAS_ENTRIES },
    { ERROR_DIRECTORY,                         ERR_NOT_DIRECTORY },
    { ERROR_INVALID_DRIVE,                     ERR_DRIVE_INVALID },
    { ERROR_HANDLE_DISK_FULL,                  ERR_NO_SPACE_LEFT },
    { ERROR_DISK_FULL,                         ERR_NO_SPACE_LEFT },
    { WSAEDQUOT,                               ERR_NO_SPACE_LEFT },
    { ERROR_DRIVE_LOCKED,                      ERR_DRIVE_IS_LOCKED },
    { ERROR_NOT_DOS_DISK,                      ERR_DISK_FORMAT_UNKNOWN },
    { WSAELOOP,                                ERR_LINK_LOOP },
    { ERROR_NO_MORE_FILES,                     ERR_ENUMERATION_DONE },
    { ERROR_NO_MORE_SEARCH_HANDLES,            ERR_SEARCH_HANDLE_LIMIT },
    { ERROR_BAD_UNIT,                          ERR_DEVICE_UNIT_INVALID },
    { ERROR_NOT_READY,                         ERR_DEVICE_NOT_READY },
    { ERROR_BAD_COMMAND,                       ERR_DEVICE_COMMAND_INVALID },
    { ERROR_CRC,                               ERR_DEVICE_CRC_ERROR },
    { ERROR_BAD_LENGTH,                        ERR_DEVICE_BAD_LENGTH },
    { ERROR_SECTOR_NOT_FOUND,                  ERR_DEVICE_SECTOR_MISSING },
    { ERROR_GEN_FAILURE,                       ERR_DEVICE_FAILURE },
    { ERROR_PIPE_CONNECTED,                    ERR_PIPE_STATE_CONFLICT },
    { ERROR_PIPE_LISTENING,                    ERR_PIPE_STATE_CONFLICT },
    { ERROR_BROKEN_PIPE,                       ERR_PIPE_BROKEN },
    { ERROR_BAD_PIPE,                          ERR_PIPE_INVALID },
    { ERROR_PIPE_BUSY,                         ERR_PIPE_ALL_BUSY },
    { ERROR_NO_DATA,                           ERR_NO_DATA_AVAILABLE },
    { ERROR_RESOURCE_DATA_NOT_FOUND,           ERR_NO_DATA_AVAILABLE },
    { ERROR_PIPE_NOT_CONNECTED,                ERR_PIPE_UNCONNECTED },
    { ERROR_MORE_DATA,                         ERR_MORE_DATA_PENDING },
    { ERROR_TOO_MANY_SEMAPHORES,               ERR_SEMAPHORE_LIMIT },
    { ERROR_EXCL_SEM_ALREADY_OWNED,            ERR_SEMAPHORE_OWNED_EXCLUSIVELY },
    { ERROR_SEM_IS_SET,                        ERR_SEMAPHORE_ALREADY_SET },
    { ERROR_TOO_MANY_SEM_REQUESTS,             ERR_SEMAPHORE_REQUEST_LIMIT },
    { ERROR_NOT_OWNER,                         ERR_NOT_THE_OWNER },
    { ERROR_TOO_MANY_POSTS,                    ERR_SEMAPHORE_POST_LIMIT },
    { ERROR_SEM_OWNER_DIED,                    ERR_SEMAPHORE_OWNER_GONE },
    { ERROR_SEM_NOT_FOUND,                     ERR_SEMAPHORE_MISSING },
    { ERROR_REM_NOT_LIST,                      ERR_NETWORK_FAULT },
    { ERROR_DUP_NAME,                          ERR_NETWORK_FAULT },
    { ERROR_ADAP_HDW_ERR,                      ERR_NETWORK_FAULT },
    { ERROR_BAD_NET_RESP,                      ERR_NETWORK_FAULT },
    { ERROR_UNEXP_NET_ERR,                     ERR_NETWORK_FAULT },
    { ERROR_BAD_REM_ADAP,                      ERR_NETWORK_FAULT },
    { ERROR_NETWORK_ACCESS_DENIED,             ERR_NETWORK_FAULT },
    { ERROR_BAD_DEV_TYPE,                      ERR_NETWORK_FAULT },
    { ERROR_SHARING_PAUSED,                    ERR_NETWORK_FAULT },
    { ERROR_REQ_NOT_ACCEP,                     ERR_NETWORK_FAULT },
    { ERROR_REDIR_PAUSED,                      ERR_NETWORK_FAULT },
    { ERROR_ALREADY_ASSIGNED,                  ERR_NETWORK_FAULT },
    { ERROR_INVALID_PASSWORD,                  ERR_NETWORK_FAULT },
    { ERROR_NET_WRITE_FAULT,                   ERR_NETWORK_FAULT },
    { ERROR_NETWORK_BUSY,                      ERR_NETWORK_OVERLOADED },
    { ERROR_TOO_MANY_CMDS,                     ERR_NETWORK_OVERLOADED },
    { ERROR_TOO_MANY_NAMES,                    ERR_NETWORK_OVERLOADED },
    { ERROR_TOO_MANY_SESS,                     ERR_NETWORK_OVERLOADED },
    { ERROR_OUT_OF_STRUCTURES,                 ERR_NETWORK_OVERLOADED },
    { ERROR_BAD_NETPATH,                       ERR_NETWORK_HOST_NOT_FOUND },
    { ERROR_NETNAME_DELETED,                   ERR_NETWORK_HOST_NOT_FOUND },
    { WSAHOST_NOT_FOUND,                       ERR_NETWORK_HOST_NOT_FOUND },
    { ERROR_DEV_NOT_EXIST,                     ERR_NETWORK_NAME_INVALID },
    { ERROR_BAD_NET_NAME,                      ERR_NETWORK_NAME_INVALID },
    { ERROR_PRINTQ_FULL,                       ERR_PRINT_SPOOL_FAILED },
    { ERROR_NO_SPOOL_SPACE,                    ERR_PRINT_SPOOL_FAILED },
    { ERROR_PRINT_CANCELLED,                   ERR_PRINT_SPOOL_FAILED },
    { WSAEINPROGRESS,                          ERR_SOCKET_IN_PROGRESS },
    { WSAEALREADY,                             ERR_SOCKET_ALREADY_IN_PROGRESS },
    { WSAENOTSOCK,                             ERR_SOCKET_NOT_A_SOCKET },
    { WSAEDESTADDRREQ,                         ERR_SOCKET_DEST_ADDR_REQUIRED },
    { WSAEMSGSIZE,                             ERR_SOCKET_MESSAGE_TOO_LONG },
    { WSAEPROTOTYPE,                           ERR_SOCKET_WRONG_PROTOCOL_TYPE },
    { WSAENOPROTOOPT,                          ERR_SOCKET_OPTION_UNAVAILABLE },
    { WSAEPROTONOSUPPORT,                      ERR_SOCKET_PROTOCOL_UNSUPPORTED },
    { WSAESOCKTNOSUPPORT,                      ERR_SOCKET_TYPE_UNSUPPORTED },
    { WSAEOPNOTSUPP,                           ERR_SOCKET_OPERATION_UNSUPPORTED },
    { WSAEPFNOSUPPORT,                         ERR_SOCKET_PROTOCOL_FAMILY_UNSUPPORTED },
    { WSAEAFNOSUPPORT,                         ERR_SOCKET_ADDRESS_FAMILY_UNSUPPORTED },
    { WSAEADDRINUSE,                           ERR_SOCKET_ADDRESS_IN_USE },
    { WSAEADDRNOTAVAIL,                        ERR_SOCKET_ADDRESS_UNAVAILABLE },
    { WSANO_DATA,                              ERR_SOCKET_ADDRESS_UNAVAILABLE },
    { WSAENETDOWN,                             ERR_SOCKET_NETWORK_DOWN },
    { WSAENETUNREACH,                          ERR_SOCKET_NETWORK_UNREACHABLE },
    { WSAENETRESET,                            ERR_SOCKET_NETWORK_RESET },
    { WSAECONNABORTED,                         ERR_SOCKET_CONNECTION_ABORTED },
    { WSAECONNRESET,                           ERR_SOCKET_CONNECTION_RESET },
    { WSAENOBUFS,                              ERR_SOCKET_NO_BUFFERS },
    { WSAEISCONN,                              ERR_SOCKET_ALREADY_CONNECTED },
    { WSAENOTCONN,                             ERR_SOCKET_NOT_CONNECTED },
    { WSAESHUTDOWN,                            ERR_SOCKET_SHUT_DOWN },
    { WSAETOOMANYREFS,                         ERR_SOCKET_TOO_MANY_REFERENCES },
    { WSAECONNREFUSED,                         ERR_SOCKET_CONNECTION_REFUSED },
    { WSAEHOSTDOWN,                            ERR_SOCKET_HOST_DOWN },
    { WSAEHOSTUNREACH,                         ERR_SOCKET_HOST_UNREACHABLE },
    { WSAEPROVIDERFAILEDINIT,                  ERR_SOCKET_PROVIDER_INIT_FAILED },
    { ERROR_INVALID_EXE_SIGNATURE,             ERR_IMAGE_SIGNATURE_INVALID },
    { ERROR_BAD_EXE_FORMAT,                    ERR_IMAGE_FORMAT_INVALID },
    { ERROR_FILE_CORRUPT,                      ERR_IMAGE_FORMAT_INVALID },
    { ERROR_PROC_NOT_FOUND,                    ERR_ENTRY_POINT_MISSING },
    { ERROR_MOD_NOT_FOUND,                     ERR_LIBRARY_MISSING },
    { ERROR_INVALID_IMAGE_HASH,                ERR_IMAGE_HASH_REJECTED },
    { ERROR_ENVVAR_NOT_FOUND,                  ERR_ENV_VARIABLE_MISSING },
    { ERROR_PASSWORD_RESTRICTION,              ERR_ACCOUNT_RESTRICTED },
    { ERROR_ACCOUNT_RESTRICTION,               ERR_ACCOUNT_RESTRICTED },
    { ERROR_PASSWORD_EXPIRED,                  ERR_ACCOUNT_RESTRICTED },
    { ERROR_ACCOUNT_DISABLED,                  ERR_ACCOUNT_RESTRICTED },
    { ERROR_PRIVILEGE_NOT_HELD,                ERR_PRIVILEGE_MISSING },
    { static_cast<uint32_t>(STATUS_ELEVATION_REQUIRED), ERR_PRIVILEGE_MISSING },
    { ERROR_ELEVATION_REQUIRED,                ERR_ELEVATION_NEEDED },
    { static_cast<uint32_t>(NTE_BAD_ALGID), ERR_CRYPTO_ALGORITHM_INVALID },
};

/** How many listed codes need more than 16 bits (an NT value and an HRESULT). */
constexpr size_t rtWinErrCountWide()
{
    size_t c = 0;
    for (const RTWINERRMAP &Map : g_aWinErrMap)
        c += Map.uNative > UINT16_MAX;
    return c;
}

constexpr size_t RTWINERR_WIDE_COUNT = rtWinErrCountWide();
constexpr size_t RTWINERR_COUNT      = RT_ELEMENTS(g_aWinErrMap) - RTWINERR_WIDE_COUNT;

/** A key row (rtSortedKeyRow) for each code that fits 16 bits, in ascending order (every
 *  status fits 16 bits, checked below); the few wider codes apart, in list order. Four
 *  bytes a code instead of six. */
struct RTWINERRTABLE
{
    uint32_t    auRows[RTWINERR_COUNT];
    RTWINERRMAP aWide[RTWINERR_WIDE_COUNT];
};

constexpr RTWINERRTABLE rtWinErrSortTable()
{
    RTWINERRTABLE Table{};
    size_t cNarrow = 0;
    size_t cWide   = 0;
    for (const RTWINERRMAP &Map : g_aWinErrMap)
    {
        if (Map.uNative > UINT16_MAX)
        {
            Table.aWide[cWide++] = Map;
            continue;
        }
        rtSortedInsert(Table.auRows, cNarrow, rtSortedKeyRow(Map.uNative, Map.rc));
        cNarrow++;
    }
    return Table;
}

constexpr RTWINERRTABLE g_WinErrTable = rtWinErrSortTable();

constexpr bool rtWinErrTableSound()
{
    for (const RTWINERRMAP &Map : g_aWinErrMap)
        if (Map.rc != Map.rc % 32768)
            return false;
    for (size_t i = 1; i < RTWINERR_COUNT; i++)
        if (g_WinErrTable.auRows[i - 1] >> 16 >= g_WinErrTable.auRows[i] >> 16)
            return false;
    for (size_t i = 0; i < RTWINERR_WIDE_COUNT; i++)
        for (size_t j = 0; j < i; j++)
            if (g_WinErrTable.aWide[j].uNative == g_WinErrTable.aWide[i].uNative)
                return false;
    return true;
}
static_assert(rtWinErrTableSound(), "every status fits 16 bits and no code is listed twice");
static_assert(RTWINERR_WIDE_COUNT == 2 && sizeof(RTWINERRTABLE) == RTWINERR_COUNT * 4 + 2 * 8,
              "four bytes a 16-bit code, eight for each of the two wide ones");

} /* namespace */

RTSTATUS RTErrConvertFromWinError(uint32_t uNativeCode)
{
    /* The few codes wider than 16 bits are matched after a miss. */
    RTSTATUS const rc = rtSortedKeyRowFind(g_WinErrTable.auRows, uNativeCode, ERR_UNMAPPED_NATIVE_ERROR);
    if (rc != ERR_UNMAPPED_NATIVE_ERROR)
        return rc;

    for (const RTWINERRMAP &Map : g_WinErrTable.aWide)
        if (Map.uNative == uNativeCode)
            return Map.rc;
    return ERR_UNMAPPED_NATIVE_ERROR;
}
