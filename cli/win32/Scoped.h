// Owners of the system's handles, memory and COM interfaces, one each.
#ifndef VELTMOR_CLI_WIN32_SCOPED_H
#define VELTMOR_CLI_WIN32_SCOPED_H

#include <windows.h>

#include <memory>

namespace cli {

struct HandleCloser {
    void operator()(HANDLE handle) const { ::CloseHandle(handle); }
};
// A file, folder or process handle; never INVALID_HANDLE_VALUE (held as null).
using ScopedHandle = std::unique_ptr<void, HandleCloser>;

inline ScopedHandle OwnHandle(HANDLE handle)
{
    return ScopedHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

struct FindCloser {
    void operator()(HANDLE search) const { ::FindClose(search); }
};
using ScopedFind = std::unique_ptr<void, FindCloser>;

inline ScopedFind OwnFind(HANDLE search)
{
    return ScopedFind(search == INVALID_HANDLE_VALUE ? nullptr : search);
}

struct LocalFreer {
    void operator()(void* memory) const { ::LocalFree(memory); }
};
// Memory the system allocated with LocalAlloc for us (descriptors, SIDs).
using ScopedLocal = std::unique_ptr<void, LocalFreer>;

// One COM interface pointer, released when it goes.
template <typename T>
class CComHeld {
public:
    CComHeld() = default;
    ~CComHeld()
    {
        if (m_p)
            m_p->Release();
    }
    CComHeld(const CComHeld&) = delete;
    CComHeld& operator=(const CComHeld&) = delete;

    T** Out() { return &m_p; }
    T* operator->() const { return m_p; }
    T* Get() const { return m_p; }

private:
    T* m_p = nullptr;
};

}  // namespace cli

#endif
