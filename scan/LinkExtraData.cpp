#include "LinkExtraData.h"

#include <cstdint>
#include <vector>

namespace scan {

namespace {

constexpr std::uint32_t kHeaderSize = 0x4C;
constexpr std::uint32_t kHasIdList = 0x01;
constexpr std::uint32_t kHasLinkInfo = 0x02;
constexpr std::uint32_t kIsUnicode = 0x80;
constexpr std::uint32_t kHasExpString = 0x200;
constexpr std::uint32_t kStringFlags = 0x04 | 0x08 | 0x10 | 0x20 | 0x40;
constexpr std::uint32_t kEnvironmentBlock = 0xA0000001;
constexpr std::uint32_t kEnvironmentBlockSize = 0x314;  // size, signature, 260 bytes, 260 wide characters
constexpr std::uint64_t kMostBlocks = 64;  // a real file has a handful

bool U16(ByteSource& source, std::uint64_t at, std::uint32_t& value)
{
    unsigned char b[2];
    if (!source.Read(at, b, 2))
        return false;
    value = static_cast<std::uint32_t>(b[0] | b[1] << 8);
    return true;
}

bool U32(ByteSource& source, std::uint64_t at, std::uint32_t& value)
{
    unsigned char b[4];
    if (!source.Read(at, b, 4))
        return false;
    value = static_cast<std::uint32_t>(b[0]) | static_cast<std::uint32_t>(b[1]) << 8 |
            static_cast<std::uint32_t>(b[2]) << 16 | static_cast<std::uint32_t>(b[3]) << 24;
    return true;
}

}  // namespace

bool StoredEnvironmentTarget(ByteSource& source, std::u16string& target)
{
    target.clear();
    std::uint64_t size = 0;
    std::uint32_t flags = 0, n = 0;
    if (!source.Size(size) || !U32(source, 0, n) || n != kHeaderSize || !U32(source, 0x14, flags) ||
        !(flags & kHasExpString))
        return false;
    std::uint64_t at = kHeaderSize;
    if ((flags & kHasIdList) && U16(source, at, n))
        at += 2 + n;
    if ((flags & kHasLinkInfo) && U32(source, at, n))
        at += n;
    const unsigned width = (flags & kIsUnicode) ? 2 : 1;
    for (std::uint32_t flag = 0x04; flag & kStringFlags; flag <<= 1) {
        if (!(flags & flag))
            continue;
        if (!U16(source, at, n))
            return false;
        at += 2 + std::uint64_t{n} * width;
    }
    for (std::uint64_t blocks = 0; blocks < kMostBlocks && at + 8 <= size; ++blocks) {
        std::uint32_t blockSize = 0, signature = 0;
        if (!U32(source, at, blockSize) || blockSize < 8 || !U32(source, at + 4, signature))
            return false;
        if (signature == kEnvironmentBlock && blockSize >= kEnvironmentBlockSize) {
            std::vector<unsigned char> wide(520);
            if (!source.Read(at + 8 + 260, wide.data(), wide.size()))
                return false;
            for (std::size_t i = 0; i + 1 < wide.size(); i += 2) {
                const char16_t c = static_cast<char16_t>(wide[i] | wide[i + 1] << 8);
                if (c == 0)
                    break;
                target += c;
            }
            return !target.empty();
        }
        at += blockSize;
    }
    return false;
}

}  // namespace scan
