/* The logger's platform side: process ids, the debugger, the standard handles and the
 * command line. */
#include <windows.h>
#include <winternl.h>
#include "internal/log.h"
#include "rt/err.h"

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
        /* The limited right suffices; systems before it know only the full one. */
        NTSTATUS rcNt = NtOpenProcess(&hProcess, PROCESS_QUERY_LIMITED_INFORMATION, &ObjAttr, &ClientId);
        if (!NT_SUCCESS(rcNt))
            rcNt = NtOpenProcess(&hProcess, PROCESS_QUERY_INFORMATION, &ObjAttr, &ClientId);
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
