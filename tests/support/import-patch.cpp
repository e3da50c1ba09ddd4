/* Test support: import-table patching over the program's own image. */
#include "import-patch.h"
#include <windows.h>
#include <stdint.h>

ImportPatch::ImportPatch(const char *pszModule, const char *pszName, void *pvNew)
{
    void *pvOld = reinterpret_cast<void *>(GetProcAddress(GetModuleHandleA(pszModule), pszName));
    auto *pbBase = reinterpret_cast<uint8_t *>(GetModuleHandleW(nullptr));
    auto *pNt = reinterpret_cast<IMAGE_NT_HEADERS *>(pbBase + reinterpret_cast<IMAGE_DOS_HEADER *>(pbBase)->e_lfanew);
    IMAGE_DATA_DIRECTORY const &Dir = pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto *pDesc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR *>(pbBase + Dir.VirtualAddress); pDesc->Name; pDesc++)
        for (auto *pThunk = reinterpret_cast<IMAGE_THUNK_DATA *>(pbBase + pDesc->FirstThunk); pThunk->u1.Function; pThunk++)
            if (pvOld && reinterpret_cast<void *>(pThunk->u1.Function) == pvOld)
            {
                m_pSlot = reinterpret_cast<void **>(&pThunk->u1.Function);
                m_pvOld = pvOld;
                Set(pvNew);
                return;
            }
}

ImportPatch::~ImportPatch()
{
    if (m_pSlot)
        Set(m_pvOld);
}

void ImportPatch::Set(void *pv)
{
    DWORD fOld;
    VirtualProtect(m_pSlot, sizeof(void *), PAGE_READWRITE, &fOld);
    *m_pSlot = pv;
    VirtualProtect(m_pSlot, sizeof(void *), fOld, &fOld);
}
