#include "CopyWatch.h"

#include <cstdlib>
#include <map>
#include <mutex>
#include <new>

namespace {

std::mutex g_lock;
struct Watched {
    int freed = 0;
    bool reused = false;  // handed out again: later frees are another block's
};
std::map<const void*, Watched> g_watched;

void NoteFree(void* p)
{
    std::lock_guard<std::mutex> lock(g_lock);
    auto it = g_watched.find(p);
    if (it != g_watched.end() && !it->second.reused)
        ++it->second.freed;
}

void NoteAllocation(void* p)
{
    std::lock_guard<std::mutex> lock(g_lock);
    auto it = g_watched.find(p);
    if (it != g_watched.end())
        it->second.reused = true;
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
            g_watched[reinterpret_cast<const void*>(r.data)] = Watched();
    }
}

int TimesFreed(const Row& row)
{
    std::lock_guard<std::mutex> lock(g_lock);
    auto it = g_watched.find(reinterpret_cast<const void*>(row.data));
    return it == g_watched.end() ? -1 : it->second.freed;
}

void ForgetCopies()
{
    std::lock_guard<std::mutex> lock(g_lock);
    g_watched.clear();
}

}  // namespace gui
