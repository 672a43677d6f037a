// Lets a test watch one system call the program makes: the entry for it in
// this program's import table is pointed at the test's function for the
// life of the object. The test's function forwards to Original(), so the
// system still does the real work.
#ifndef VELTMOR_TESTS_GUI_IMPORTHOOK_H
#define VELTMOR_TESTS_GUI_IMPORTHOOK_H

#include <windows.h>

#include <cstring>

namespace gui {

class CImportHook {
public:
    CImportHook(const char* dll, const char* function, void* replacement)
    {
        m_slot = FindSlot(dll, function);
        if (!m_slot)
            return;
        m_original = *m_slot;
        Write(replacement);
    }
    ~CImportHook()
    {
        if (m_slot)
            Write(m_original);
    }
    CImportHook(const CImportHook&) = delete;
    CImportHook& operator=(const CImportHook&) = delete;

    // False when the program does not import the function by name.
    bool Installed() const { return m_slot != nullptr; }
    template <class F> F Original() const { return reinterpret_cast<F>(m_original); }

private:
    static void** FindSlot(const char* dll, const char* function)
    {
        auto* base = reinterpret_cast<BYTE*>(::GetModuleHandleA(nullptr));
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
        const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
        if (dir.VirtualAddress == 0)
            return nullptr;
        for (auto* desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
             desc->Name != 0; ++desc) {
            if (::lstrcmpiA(reinterpret_cast<const char*>(base + desc->Name), dll) != 0)
                continue;
            auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->OriginalFirstThunk);
            auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->FirstThunk);
            for (; names->u1.AddressOfData != 0; ++names, ++slots) {
                if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                    continue;
                const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
                if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) == 0)
                    return reinterpret_cast<void**>(&slots->u1.Function);
            }
        }
        return nullptr;
    }

    void Write(void* value)
    {
        DWORD old = 0;
        ::VirtualProtect(m_slot, sizeof *m_slot, PAGE_READWRITE, &old);
        *m_slot = value;
        ::VirtualProtect(m_slot, sizeof *m_slot, old, &old);
    }

    void** m_slot = nullptr;     // in this program's import table
    void* m_original = nullptr;  // the system's function
};

}  // namespace gui

#endif
