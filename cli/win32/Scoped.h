// Owners of the system's handles, one line each.
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

}  // namespace cli

#endif
