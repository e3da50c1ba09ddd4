/* Win32/Winsock/HRESULT to status conversion. */
#include <gtest/gtest.h>
#include <map>
#include <vector>
#include "rt/err.h"

namespace {

struct Mapping
{
    RTSTATUS              rc;
    std::vector<uint32_t> codes;
};

const Mapping g_aMappings[] =
{
    { INF_SUCCESS, { 0 } },
    { ERR_BAD_ARGUMENT, { 87, 160, 1004, 10022 } },
    { ERR_BAD_HANDLE, { 6, 130, 10009 } },
    { ERR_BAD_POINTER, { 487, 998, 10014 } },
    { ERR_OUT_OF_MEMORY, { 8, 14, 1450 } },
    { ERR_ALREADY_ACTIVE, { 1056 } },
    { ERR_NOT_A_LINK, { 4390 } },
    { ERR_BAD_FUNCTION, { 1 } },
    { ERR_UNSUPPORTED, { 50 } },
    { ERR_ACCESS_REFUSED, { 5, 10013 } },
    { ERR_CALL_INTERRUPTED, { 995, 10004 } },
    { ERR_TIMED_OUT, { 121, 258, 1053, 1121, 1460, 10060 } },
    { ERR_BUFFER_TOO_SMALL, { 111, 122 } },
    { ERR_THREAD_LIMIT, { 164 } },
    { ERR_PROCESS_LIMIT, { 89, 10067 } },
    { ERR_SIGNAL_REFUSED, { 156, 205 } },
    { ERR_SIGNAL_PENDING, { 162 } },
    { ERR_BAD_SIGNAL_NUMBER, { 209 } },
    { ERR_UUID_MALFORMED, { 1705 } },
    { ERR_RETRY_LATER, { 10035, 11002 } },
    { ERR_UNTRANSLATABLE_CHAR, { 1113 } },
    { ERR_OPERATION_CANCELLED, { 1223 } },
    { ERR_ITEM_NOT_FOUND, { 1060, 1168 } },
    { ERR_AUTH_FAILED, { 1272, 1326, 1788, 1789 } },
    { ERR_FILE_OPEN_FAILED, { 110 } },
    { ERR_FILE_MISSING, { 2 } },
    { ERR_PATH_MISSING, { 3 } },
    { ERR_BAD_NAME, { 123, 161, 1200 } },
    { ERR_NAME_TAKEN, { 80, 183 } },
    { ERR_OPEN_FILE_LIMIT, { 4, 10024 } },
    { ERR_SEEK_ERROR, { 25 } },
    { ERR_NEGATIVE_OFFSET, { 131 } },
    { ERR_DEVICE_NOT_SEEKABLE, { 132 } },
    { ERR_FILE_END_REACHED, { 38 } },
    { ERR_DEVICE_READ_FAULT, { 30 } },
    { ERR_DEVICE_WRITE_FAULT, { 29 } },
    { ERR_MEDIUM_WRITE_PROTECTED, { 19 } },
    { ERR_SHARING_CONFLICT, { 32, 1224 } },
    { ERR_RANGE_LOCK_FAILED, { 167 } },
    { ERR_RANGE_LOCK_CONFLICT, { 33 } },
    { ERR_CREATE_FAILED, { 82 } },
    { ERR_DIR_REMOVAL_REFUSED, { 16, 10066 } },
    { ERR_DIFFERENT_DEVICE, { 17 } },
    { ERR_FILENAME_TOO_LONG, { 206, 10063 } },
    { ERR_VOLUME_UNRECOGNISED, { 1005 } },
    { ERR_RANGE_NOT_LOCKED, { 158 } },
    { ERR_DIRECTORY_HAS_ENTRIES, { 145 } },
    { ERR_NOT_DIRECTORY, { 267 } },
    { ERR_DRIVE_INVALID, { 15 } },
    { ERR_NO_SPACE_LEFT, { 39, 112, 10069 } },
    { ERR_DRIVE_IS_LOCKED, { 108 } },
    { ERR_DISK_FORMAT_UNKNOWN, { 26 } },
    { ERR_LINK_LOOP, { 10062 } },
    { ERR_ENUMERATION_DONE, { 18 } },
    { ERR_SEARCH_HANDLE_LIMIT, { 113 } },
    { ERR_DEVICE_UNIT_INVALID, { 20 } },
    { ERR_DEVICE_NOT_READY, { 21 } },
    { ERR_DEVICE_COMMAND_INVALID, { 22 } },
    { ERR_DEVICE_CRC_ERROR, { 23 } },
    { ERR_DEVICE_BAD_LENGTH, { 24 } },
    { ERR_DEVICE_SECTOR_MISSING, { 27 } },
    { ERR_DEVICE_FAILURE, { 31 } },
    { ERR_PIPE_STATE_CONFLICT, { 535, 536 } },
    { ERR_PIPE_BROKEN, { 109 } },
    { ERR_PIPE_INVALID, { 230 } },
    { ERR_PIPE_ALL_BUSY, { 231 } },
    { ERR_NO_DATA_AVAILABLE, { 232, 1812 } },
    { ERR_PIPE_UNCONNECTED, { 233 } },
    { ERR_MORE_DATA_PENDING, { 234 } },
    { ERR_SEMAPHORE_LIMIT, { 100 } },
    { ERR_SEMAPHORE_OWNED_EXCLUSIVELY, { 101 } },
    { ERR_SEMAPHORE_ALREADY_SET, { 102 } },
    { ERR_SEMAPHORE_REQUEST_LIMIT, { 103 } },
    { ERR_NOT_THE_OWNER, { 288 } },
    { ERR_SEMAPHORE_POST_LIMIT, { 298 } },
    { ERR_SEMAPHORE_OWNER_GONE, { 105 } },
    { ERR_SEMAPHORE_MISSING, { 187 } },
    { ERR_NETWORK_FAULT, { 51, 52, 57, 58, 59, 60, 65, 66, 70, 71, 72, 85, 86, 88 } },
    { ERR_NETWORK_OVERLOADED, { 54, 56, 68, 69, 84 } },
    { ERR_NETWORK_HOST_NOT_FOUND, { 53, 64, 11001 } },
    { ERR_NETWORK_NAME_INVALID, { 55, 67 } },
    { ERR_PRINT_SPOOL_FAILED, { 61, 62, 63 } },
    { ERR_SOCKET_IN_PROGRESS, { 10036 } },
    { ERR_SOCKET_ALREADY_IN_PROGRESS, { 10037 } },
    { ERR_SOCKET_NOT_A_SOCKET, { 10038 } },
    { ERR_SOCKET_DEST_ADDR_REQUIRED, { 10039 } },
    { ERR_SOCKET_MESSAGE_TOO_LONG, { 10040 } },
    { ERR_SOCKET_WRONG_PROTOCOL_TYPE, { 10041 } },
    { ERR_SOCKET_OPTION_UNAVAILABLE, { 10042 } },
    { ERR_SOCKET_PROTOCOL_UNSUPPORTED, { 10043 } },
    { ERR_SOCKET_TYPE_UNSUPPORTED, { 10044 } },
    { ERR_SOCKET_OPERATION_UNSUPPORTED, { 10045 } },
    { ERR_SOCKET_PROTOCOL_FAMILY_UNSUPPORTED, { 10046 } },
    { ERR_SOCKET_ADDRESS_FAMILY_UNSUPPORTED, { 10047 } },
    { ERR_SOCKET_ADDRESS_IN_USE, { 10048 } },
    { ERR_SOCKET_ADDRESS_UNAVAILABLE, { 10049, 11004 } },
    { ERR_SOCKET_NETWORK_DOWN, { 10050 } },
    { ERR_SOCKET_NETWORK_UNREACHABLE, { 10051 } },
    { ERR_SOCKET_NETWORK_RESET, { 10052 } },
    { ERR_SOCKET_CONNECTION_ABORTED, { 10053 } },
    { ERR_SOCKET_CONNECTION_RESET, { 10054 } },
    { ERR_SOCKET_NO_BUFFERS, { 10055 } },
    { ERR_SOCKET_ALREADY_CONNECTED, { 10056 } },
    { ERR_SOCKET_NOT_CONNECTED, { 10057 } },
    { ERR_SOCKET_SHUT_DOWN, { 10058 } },
    { ERR_SOCKET_TOO_MANY_REFERENCES, { 10059 } },
    { ERR_SOCKET_CONNECTION_REFUSED, { 10061 } },
    { ERR_SOCKET_HOST_DOWN, { 10064 } },
    { ERR_SOCKET_HOST_UNREACHABLE, { 10065 } },
    { ERR_SOCKET_PROVIDER_INIT_FAILED, { 10106 } },
    { ERR_IMAGE_SIGNATURE_INVALID, { 191 } },
    { ERR_IMAGE_FORMAT_INVALID, { 193, 1392 } },
    { ERR_ENTRY_POINT_MISSING, { 127 } },
    { ERR_LIBRARY_MISSING, { 126 } },
    { ERR_IMAGE_HASH_REJECTED, { 577 } },
    { ERR_ENV_VARIABLE_MISSING, { 203 } },
    { ERR_ACCOUNT_RESTRICTED, { 1325, 1327, 1330, 1331 } },
    { ERR_PRIVILEGE_MISSING, { 1314, 0xc000042c } },
    { ERR_ELEVATION_NEEDED, { 740 } },
    { ERR_CRYPTO_ALGORITHM_INVALID, { 0x80090008 } },
};

std::map<uint32_t, RTSTATUS> ExpectedByCode()
{
    std::map<uint32_t, RTSTATUS> map;
    for (const Mapping &m : g_aMappings)
        for (uint32_t code : m.codes)
        {
            EXPECT_TRUE(map.emplace(code, m.rc).second) << "code listed twice: " << code;
        }
    return map;
}

} // namespace

TEST(ErrConvertFromWinError, EveryListedCodeMapsToItsStatus)
{
    for (const Mapping &m : g_aMappings)
        for (uint32_t code : m.codes)
            EXPECT_EQ(RTErrConvertFromWinError(code), m.rc) << "code " << code;
}

/* Sweeping the whole 16-bit range catches a mapping that is not in the list as well as a
 * missing one; the values above it are the HRESULT and NT values the list names. */
TEST(ErrConvertFromWinError, EverythingElseIsUnmapped)
{
    std::map<uint32_t, RTSTATUS> const expected = ExpectedByCode();
    for (uint32_t code = 0; code <= 0xFFFF; code++)
    {
        auto it = expected.find(code);
        RTSTATUS const rcWant = it == expected.end() ? ERR_UNMAPPED_NATIVE_ERROR : it->second;
        ASSERT_EQ(RTErrConvertFromWinError(code), rcWant) << "code " << code;
    }
    for (uint32_t code : { 0x80070005u, 0x80070000u, 0x80090009u, 0xC000042Bu, 0xC0000022u,
                           0x00010057u, 0xFFFFFFFFu })
        EXPECT_EQ(RTErrConvertFromWinError(code), ERR_UNMAPPED_NATIVE_ERROR) << std::hex << code;
}
