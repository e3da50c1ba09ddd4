/* Test support: reparse points simulated over the native file calls. */
#define WIN32_NO_STATUS
#include <windows.h>
#undef WIN32_NO_STATUS
#include <winternl.h>
#include <ntstatus.h>
#include "fake-reparse.h"
#include "import-patch.h"
#include <set>
#include <string>

namespace {

typedef NTSTATUS (NTAPI *PFNCREATE)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK, PLARGE_INTEGER, ULONG,
                                    ULONG, ULONG, ULONG, PVOID, ULONG);
typedef NTSTATUS (NTAPI *PFNQUERY)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, FILE_INFORMATION_CLASS);
typedef NTSTATUS (NTAPI *PFNCLOSE)(HANDLE);

struct State
{
    uint32_t              uTag = 0;
    PFNCREATE             pfnCreate = nullptr;
    PFNQUERY              pfnQuery = nullptr;
    PFNCLOSE              pfnClose = nullptr;
    std::set<HANDLE>      linkHandles;
    std::vector<uint32_t> linkOpens;
};
State *g_pState;

bool IsLinkName(const UNICODE_STRING *pName)
{
    if (!pName || !pName->Buffer)
        return false;
    std::wstring name(pName->Buffer, pName->Length / sizeof(WCHAR));
    while (!name.empty() && name.back() == L'\\')
        name.pop_back();
    return name.size() >= 4 && name.compare(name.size() - 4, 4, L"link") == 0;
}

NTSTATUS NTAPI FakeCreate(PHANDLE ph, ACCESS_MASK fAccess, POBJECT_ATTRIBUTES pAttr, PIO_STATUS_BLOCK pIos,
                          PLARGE_INTEGER pcbAlloc, ULONG fAttrs, ULONG fShare, ULONG uDisp, ULONG fOptions, PVOID pvEa,
                          ULONG cbEa)
{
    NTSTATUS const rcNt = g_pState->pfnCreate(ph, fAccess, pAttr, pIos, pcbAlloc, fAttrs, fShare, uDisp, fOptions, pvEa, cbEa);
    if (IsLinkName(pAttr->ObjectName))
    {
        g_pState->linkOpens.push_back(fOptions);
        if (NT_SUCCESS(rcNt) && (fOptions & FILE_OPEN_REPARSE_POINT))
            g_pState->linkHandles.insert(*ph);
    }
    return rcNt;
}

NTSTATUS NTAPI FakeQuery(HANDLE h, PIO_STATUS_BLOCK pIos, PVOID pv, ULONG cb, FILE_INFORMATION_CLASS enmClass)
{
    NTSTATUS const rcNt = g_pState->pfnQuery(h, pIos, pv, cb, enmClass);
    /* The all-information class reports an overflow when the name does not fit. */
    if (!g_pState->linkHandles.count(h) || (!NT_SUCCESS(rcNt) && rcNt != STATUS_BUFFER_OVERFLOW))
        return rcNt;
    switch (static_cast<int>(enmClass))
    {
        case 4:  /* basic: the attributes follow the four times */
        case 18: /* all: begins with the basic information */
            static_cast<FILE_BASIC_INFORMATION *>(pv)->FileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
            break;
        case 35: /* attribute tag */
            static_cast<ULONG *>(pv)[0] |= FILE_ATTRIBUTE_REPARSE_POINT;
            static_cast<ULONG *>(pv)[1] = g_pState->uTag;
            break;
        default:
            break;
    }
    return rcNt;
}

NTSTATUS NTAPI FakeClose(HANDLE h)
{
    g_pState->linkHandles.erase(h);
    return g_pState->pfnClose(h);
}

} /* namespace */

struct FakeReparsePoints::Impl
{
    State       state;
    ImportPatch create{"ntdll.dll", "NtCreateFile", reinterpret_cast<void *>(FakeCreate)};
    ImportPatch query{"ntdll.dll", "NtQueryInformationFile", reinterpret_cast<void *>(FakeQuery)};
    ImportPatch close{"ntdll.dll", "NtClose", reinterpret_cast<void *>(FakeClose)};
};

FakeReparsePoints::FakeReparsePoints(uint32_t uTag) : m_pImpl(new Impl)
{
    m_pImpl->state.uTag = uTag;
    m_pImpl->state.pfnCreate = reinterpret_cast<PFNCREATE>(m_pImpl->create.Old());
    m_pImpl->state.pfnQuery = reinterpret_cast<PFNQUERY>(m_pImpl->query.Old());
    m_pImpl->state.pfnClose = reinterpret_cast<PFNCLOSE>(m_pImpl->close.Old());
    g_pState = &m_pImpl->state;
}

FakeReparsePoints::~FakeReparsePoints()
{
    m_pImpl.reset();
    g_pState = nullptr;
}

bool FakeReparsePoints::Ok() const
{
    return m_pImpl->create.Ok() && m_pImpl->query.Ok() && m_pImpl->close.Ok();
}

const std::vector<uint32_t> &FakeReparsePoints::LinkOpens() const
{
    return m_pImpl->state.linkOpens;
}
