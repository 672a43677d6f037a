#include "CopyWatch.h"

#include <cstdlib>
#include <map>
#include <mutex>
#include <new>

namespace {

std::mutex g_lock;
std::map<const void*, int> g_watched;  // copy -> times freed

void NoteFree(void* p)
{
    std::lock_guard<std::mutex> lock(g_lock);
    auto it = g_watched.find(p);
    if (it != g_watched.end())
        ++it->second;
}

// A block handed out again is no longer the row's copy.
void NoteAllocation(void* p)
{
    std::lock_guard<std::mutex> lock(g_lock);
    g_watched.erase(p);
}

}  // namespace

void operator delete[](void* p) noexcept
{
    NoteFree(p);
    std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
    NoteFree(p);
    std::free(p);
}

void* operator new[](std::size_t size)
{
    if (void* p = std::malloc(size ? size : 1)) {
        NoteAllocation(p);
        return p;
    }
    throw std::bad_alloc();
}

namespace gui {

void WatchCopies(const std::vector<Row>& rows)
{
    std::lock_guard<std::mutex> lock(g_lock);
    for (const Row& r : rows) {
        if (r.data)
            g_watched[reinterpret_cast<const void*>(r.data)] = 0;
    }
}

int TimesFreed(const Row& row)
{
    std::lock_guard<std::mutex> lock(g_lock);
    auto it = g_watched.find(reinterpret_cast<const void*>(row.data));
    return it == g_watched.end() ? -1 : it->second;
}

void ForgetCopies()
{
    std::lock_guard<std::mutex> lock(g_lock);
    g_watched.clear();
}

}  // namespace gui
