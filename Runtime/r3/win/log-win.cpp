/* The logger's platform side: process ids, the debugger, the standard handles and the
 * command line. */
#include <windows.h>
#include <winternl.h>
#include "internal/log.h"
#include "rt/err.h"

/** Access right that suffices to read another process's basic information, and the older
 *  right that systems before it need. */
static constexpr ACCESS_MASK RTLOG_PROCESS_QUERY_LIMITED = PROCESS_QUERY_LIMITED_INFORMATION;
static constexpr ACCESS_MASK RTLOG_PROCESS_QUERY         = PROCESS_QUERY_INFORMATION;
static_assert(RTLOG_PROCESS_QUERY_LIMITED == 0x1000 && RTLOG_PROCESS_QUERY == 0x400, "process query rights");
static_assert(sizeof(PROCESS_BASIC_INFORMATION) == 24, "basic process information on 32-bit hosts");

extern "C" NTSTATUS NTAPI NtOpenProcess(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, CLIENT_ID *);

uint32_t rtLogNativeProcessId(void)
{
    return GetCurrentProcessId();
}

/** The parent of process @p uPid; the caller's own process needs no handle of its own. */
static RTSTATUS rtLogNativeQueryParent(uint32_t uPid, uint32_t *puParent)
{
    HANDLE hProcess = GetCurrentProcess();
    bool fOpened = false;
    if (uPid != GetCurrentProcessId())
    {
        OBJECT_ATTRIBUTES ObjAttr;
        InitializeObjectAttributes(&ObjAttr, nullptr, 0, nullptr, nullptr);
        CLIENT_ID ClientId = { reinterpret_cast<HANDLE>(static_cast<uintptr_t>(uPid)), nullptr };
        NTSTATUS rcNt = NtOpenProcess(&hProcess, RTLOG_PROCESS_QUERY_LIMITED, &ObjAttr, &ClientId);
        if (!NT_SUCCESS(rcNt))
            rcNt = NtOpenProcess(&hProcess, RTLOG_PROCESS_QUERY, &ObjAttr, &ClientId);
        if (!NT_SUCCESS(rcNt))
            return RTErrConvertFromNtStatus(rcNt);
        fOpened = true;
    }
    PROCESS_BASIC_INFORMATION Info;
    ULONG cbRet = 0;
    NTSTATUS const rcNt = NtQueryInformationProcess(hProcess, ProcessBasicInformation, &Info, sizeof(Info), &cbRet);
    if (fOpened)
        NtClose(hProcess);
    if (!NT_SUCCESS(rcNt))
        return RTErrConvertFromNtStatus(rcNt);
    *puParent = static_cast<uint32_t>(Info.InheritedFromUniqueProcessId);
    return INF_SUCCESS;
}

uint32_t rtLogNativeParentProcessId(void)
{
    uint32_t uParent = UINT32_MAX;
    if (RT_FAILURE(rtLogNativeQueryParent(GetCurrentProcessId(), &uParent)))
        return UINT32_MAX;
    return uParent;
}

void rtLogNativeWriteDebugger(const char *pch, size_t cch)
{
    (void)cch;  /* the text is terminated */
    OutputDebugStringA(pch);
}

void rtLogNativeWriteStd(bool fStdErr, const char *pch, size_t cch)
{
    HANDLE const hStd = GetStdHandle(fStdErr ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if (!hStd || hStd == INVALID_HANDLE_VALUE)
        return;
    DWORD cbWritten;
    WriteFile(hStd, pch, static_cast<DWORD>(cch), &cbWritten, nullptr);
}

const uint16_t *rtLogNativeCommandLine(void)
{
    return reinterpret_cast<const uint16_t *>(GetCommandLineW());
}
