/* Test support: replaces a function this program imports from a system library, for the
 * lifetime of the object, so that failures the system cannot be made to produce on demand
 * reach the real code paths of the runtime (which calls through the program's imports). */
#pragma once

class ImportPatch
{
public:
    ImportPatch(const char *pszModule, const char *pszName, void *pvNew);
    ~ImportPatch();
    ImportPatch(const ImportPatch &) = delete;
    ImportPatch &operator=(const ImportPatch &) = delete;
    /** Whether the import was found and replaced. */
    bool Ok() const { return m_pSlot != nullptr; }
    /** The original function. */
    void *Old() const { return m_pvOld; }

private:
    void Set(void *pv);
    void **m_pSlot = nullptr;
    void  *m_pvOld = nullptr;
};
