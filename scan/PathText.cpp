#include "PathText.h"

#include <cstring>

namespace scan {

bool JoinPath(char* dst, const char* first, const char* second)
{
    const std::size_t a = std::strlen(first);
    const std::size_t b = std::strlen(second);
    if (a > kMaxPathLength || b > kMaxPathLength - a) {
        dst[0] = '\0';
        return false;
    }
    std::memmove(dst, first, a);
    std::memcpy(dst + a, second, b + 1);
    return true;
}

bool RoomForBackslash(const char* path)
{
    const std::size_t n = std::strlen(path);
    if (n == 0 || path[n - 1] == '\\')
        return n <= kMaxPathLength;
    return n < kMaxPathLength;
}

}  // namespace scan
