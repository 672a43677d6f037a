#include "LinkStructure.h"

#include "Sha256.h"

#include <algorithm>
#include <cstring>

namespace scan {

bool MemoryByteSource::Size(std::uint64_t& size)
{
    size = m_size;
    return true;
}

bool MemoryByteSource::Read(std::uint64_t offset, void* buffer, std::size_t length)
{
    if (offset > m_size || length > m_size - offset)
        return false;
    if (length)
        std::memcpy(buffer, static_cast<const unsigned char*>(m_bytes) + offset, length);
    return true;
}

namespace {

constexpr std::uint32_t kHeaderSize = 0x4C;
constexpr unsigned char kLinkClassId[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                            0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

// Link flags that announce a section.
constexpr std::uint32_t kHasIdList = 0x01;
constexpr std::uint32_t kHasLinkInfo = 0x02;
constexpr std::uint32_t kIsUnicode = 0x80;
constexpr std::uint32_t kHasProduct = 0x800;
constexpr std::uint32_t kHasInstallerId = 0x1000;
// Name, relative path, working folder, arguments, icon location: in this
// order in the file, each a count and that many characters.
constexpr std::uint32_t kStringFlags[] = {0x04, 0x08, 0x10, 0x20, 0x40};

// Link-info flags.
constexpr std::uint32_t kVolumeAndLocalPath = 0x01;
constexpr std::uint32_t kNetworkLink = 0x02;
constexpr std::uint32_t kLinkInfoMinimum = 0x1C;  // the fixed fields, which every reader takes
constexpr std::uint32_t kLinkInfoWithUnicode = 0x24;
constexpr std::uint32_t kNetworkLinkMinimum = 0x14;
constexpr std::uint32_t kValidDevice = 0x01;

// The size of a block of two fixed text fields (variables, installer, icon).
constexpr std::uint32_t kTextBlockSize = 0x314;

std::uint16_t Le16(const unsigned char* p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::uint32_t Le32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Reads through a small window: one read of the source covers a typical
// shortcut, and nothing the file declares decides how much is held.
class Reader {
public:
    explicit Reader(ByteSource& source) : m_source(source) {}

    bool Open() { return m_source.Size(m_size); }
    std::uint64_t Size() const { return m_size; }

    // n bytes at offset (n at most kWindow), or null when they do not all
    // lie inside the file or cannot be read.
    const unsigned char* At(std::uint64_t offset, std::size_t n)
    {
        if (n > kWindow || offset > m_size || n > m_size - offset)
            return nullptr;
        if (offset < m_start || offset - m_start + n > m_length) {
            m_start = offset;
            m_length = static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, m_size - offset));
            if (!m_source.Read(offset, m_window, m_length)) {
                m_length = 0;
                return nullptr;
            }
        }
        return m_window + (offset - m_start);
    }

    bool U16(std::uint64_t offset, std::uint32_t& value)
    {
        const unsigned char* p = At(offset, 2);
        if (p)
            value = Le16(p);
        return p != nullptr;
    }
    bool U32(std::uint64_t offset, std::uint32_t& value)
    {
        const unsigned char* p = At(offset, 4);
        if (p)
            value = Le32(p);
        return p != nullptr;
    }

    // True when a null character of width bytes (1 or 2) starts at from or
    // at a whole number of characters after it, and ends before end.
    bool Terminated(std::uint64_t from, std::uint64_t end, unsigned width)
    {
        while (from < end && end - from >= width) {
            std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, end - from));
            n -= n % width;
            const unsigned char* p = At(from, n);
            if (!p)
                return false;
            for (std::size_t i = 0; i < n; i += width)
                if (p[i] == 0 && (width == 1 || p[i + 1] == 0))
                    return true;
            from += n;
        }
        return false;
    }

private:
    static constexpr std::size_t kWindow = 4096;  // even: wide characters never straddle it

    ByteSource& m_source;
    std::uint64_t m_size = 0;
    std::uint64_t m_start = 0;
    std::size_t m_length = 0;
    unsigned char m_window[kWindow];
};

// The ID list: its size, then items of at least two bytes each, each one
// leaving room inside the list for the two-byte terminator. The reader takes
// the whole list, then walks its items up to the first empty one: bytes after
// that terminator are never looked at, and a list of size 0 is an empty one.
// at moves past the list.
bool CheckIdList(Reader& in, std::uint64_t& at)
{
    std::uint32_t listSize = 0;
    if (!in.U16(at, listSize) || listSize == 1 || listSize > in.Size() - at - 2)
        return false;
    const std::uint64_t end = at + 2 + listSize;
    std::uint64_t item = at + 2;
    while (item != end) {  // two bytes at least are left for each item's size
        std::uint32_t itemSize = 0;
        if (!in.U16(item, itemSize))
            return false;
        if (itemSize == 0)
            break;
        if (itemSize < 2 || itemSize > end - item - 2)
            return false;
        item += itemSize;
    }
    at = end;
    return true;
}

// A structure inside the link info: where it starts, where the link info ends.
struct Span {
    std::uint64_t start;
    std::uint64_t end;
};

// A string at offset inside within, terminated inside within.
bool StringInside(Reader& in, const Span& within, std::uint32_t offset, unsigned width)
{
    return offset < within.end - within.start && in.Terminated(within.start + offset, within.end, width);
}

// A sub-structure at offset of the link info that declares its own size
// (at least minimum) and lies whole inside the link info; its span.
bool SizedInside(Reader& in, const Span& info, std::uint32_t offset, std::uint32_t minimum, Span& part)
{
    std::uint32_t size = 0;
    if (offset >= info.end - info.start || !in.U32(info.start + offset, size) || size < minimum ||
        size > info.end - info.start - offset)
        return false;
    part = Span{info.start + offset, info.start + offset + size};
    return true;
}

bool CheckVolumeId(Reader& in, const Span& info, std::uint32_t offset)
{
    Span volume{};
    std::uint32_t labelOffset = 0;
    if (!SizedInside(in, info, offset, 0x11, volume) || !in.U32(volume.start + 0x0C, labelOffset))
        return false;
    if (labelOffset != 0x14)
        return StringInside(in, volume, labelOffset, 1);
    // 0x14 says: the label is wide and its offset follows.
    std::uint32_t wideOffset = 0;
    return volume.end - volume.start >= 0x14 && in.U32(volume.start + 0x10, wideOffset) &&
           StringInside(in, volume, wideOffset, 2);
}

bool CheckNetworkLink(Reader& in, const Span& info, std::uint32_t offset)
{
    Span link{};
    std::uint32_t flags = 0, netName = 0, deviceName = 0;
    if (!SizedInside(in, info, offset, kNetworkLinkMinimum, link) || !in.U32(link.start + 4, flags) ||
        !in.U32(link.start + 8, netName) || !in.U32(link.start + 0x0C, deviceName))
        return false;
    if (!StringInside(in, link, netName, 1))
        return false;
    if (((flags & kValidDevice) || deviceName) && !StringInside(in, link, deviceName, 1))
        return false;
    if (netName <= kNetworkLinkMinimum)
        return true;
    // A net-name offset past the fixed part says: two wide offsets follow.
    std::uint32_t wideNetName = 0, wideDeviceName = 0;
    if (link.end - link.start < 0x1C || !in.U32(link.start + 0x14, wideNetName) ||
        !in.U32(link.start + 0x18, wideDeviceName))
        return false;
    return (!wideNetName || StringInside(in, link, wideNetName, 2)) &&
           (!wideDeviceName || StringInside(in, link, wideDeviceName, 2));
}

// The link info: its size inside the file, its header inside it, and every
// structure and string that an offset names inside it. An offset is checked
// when the flags announce its structure or when it is not zero: readers
// differ in which of the two they trust.
bool CheckLinkInfo(Reader& in, std::uint64_t& at)
{
    std::uint32_t size = 0;
    if (!in.U32(at, size) || size < kLinkInfoMinimum || size > in.Size() - at)
        return false;
    const Span info{at, at + size};
    const unsigned char* p = in.At(at, std::min<std::uint32_t>(size, kLinkInfoWithUnicode));
    if (!p)
        return false;
    const std::uint32_t headerSize = Le32(p + 4);
    const std::uint32_t flags = Le32(p + 8);
    const std::uint32_t volume = Le32(p + 0x0C);
    const std::uint32_t localPath = Le32(p + 0x10);
    const std::uint32_t network = Le32(p + 0x14);
    const std::uint32_t suffix = Le32(p + 0x18);
    if (headerSize > size)  // the wide offsets would be read past it
        return false;
    const bool wide = headerSize >= kLinkInfoWithUnicode;
    const std::uint32_t wideLocalPath = wide ? Le32(p + 0x1C) : 0;
    const std::uint32_t wideSuffix = wide ? Le32(p + 0x20) : 0;

    const bool local = (flags & kVolumeAndLocalPath) != 0;
    if ((local || volume) && !CheckVolumeId(in, info, volume))
        return false;
    if ((local || localPath) && !StringInside(in, info, localPath, 1))
        return false;
    if (wideLocalPath && !StringInside(in, info, wideLocalPath, 2))
        return false;
    if (((flags & kNetworkLink) || network) && !CheckNetworkLink(in, info, network))
        return false;
    if (!StringInside(in, info, suffix, 1))  // always there, empty for a local path
        return false;
    if (wideSuffix && !StringInside(in, info, wideSuffix, 2))
        return false;
    at = info.end;
    return true;
}

// The smallest size of the extra data blocks whose layout is published, so
// that no field a reader takes from a known block lies outside it.
std::uint32_t MinimumBlockSize(std::uint32_t signature)
{
    switch (signature) {
    case 0xA0000001:  // environment variables
    case 0xA0000006:  // installer (darwin) identifier
    case 0xA0000007:  // icon environment
        return kTextBlockSize;
    case 0xA0000002: return 0xCC;  // console
    case 0xA0000003: return 0x60;  // tracker
    case 0xA0000004: return 0x0C;  // console code page
    case 0xA0000005: return 0x10;  // special folder
    case 0xA0000008: return 0x88;  // shim
    case 0xA0000009: return 0x0C;  // property store
    case 0xA000000B: return 0x1C;  // known folder
    case 0xA000000C: return 0x0A;  // ID list of Vista and later
    default: return 8;
    }
}

// The two fixed fields of a block of text, 260 narrow then 260 wide
// characters, each of which must be terminated inside itself: readers copy
// them without a bound.
bool NarrowFieldTerminated(Reader& in, std::uint64_t block)
{
    return in.Terminated(block + 8, block + 8 + 260, 1);
}

bool WideFieldTerminated(Reader& in, std::uint64_t block)
{
    return in.Terminated(block + 8 + 260, block + kTextBlockSize, 2);
}

// The extra data blocks, walked as the shell's list reader walks them: a size
// of 0 ends the list, and so do the file's end and a size it cuts short. A
// size below 8 is stepped over alone. A size above 64 KB ends the list unread
// (the reader backs up and stops, allocating nothing), and a block that runs
// past the end is read short and dropped: either is the last thing read, so
// neither is refused. A block read whole must hold its published layout.
// advertised: how many blocks the header announces for an advertised
// shortcut (product, installer). Wine's reader takes that many from the start
// of the list, whatever their signature past its 0xA000 high word, as long as
// each has the size of a block of text, and copies the wide field.
bool CheckExtraData(Reader& in, std::uint64_t at, unsigned advertised)
{
    constexpr std::uint32_t kLargestRead = 0xFFFF;
    for (;;) {
        std::uint32_t blockSize = 0;
        if (in.Size() - at < 4)
            return true;
        if (!in.U32(at, blockSize))
            return false;
        if (blockSize == 0 || blockSize > kLargestRead || blockSize > in.Size() - at)
            return true;
        if (blockSize < 8) {
            at += 4;
            advertised = 0;
            continue;
        }
        std::uint32_t signature = 0;
        if (!in.U32(at + 4, signature))
            return false;
        const std::uint32_t minimum = MinimumBlockSize(signature);
        if (blockSize < minimum)
            return false;
        const bool text = minimum == kTextBlockSize;
        const bool readAsAdvertised = advertised && blockSize == kTextBlockSize && (signature >> 16) == 0xA000;
        advertised = readAsAdvertised ? advertised - 1 : 0;
        if ((text && !NarrowFieldTerminated(in, at)) || ((text || readAsAdvertised) && !WideFieldTerminated(in, at)))
            return false;
        at += blockSize;
    }
}

// The header, ID list, link info and strings; flags and where the extra
// data starts (and the link info, 0 when there is none).
bool CheckSections(Reader& in, std::uint32_t& flags, std::uint64_t& extraData, std::uint64_t* linkInfo = nullptr)
{
    const unsigned char* header = in.At(0, kHeaderSize);
    if (!header || Le32(header) != kHeaderSize || std::memcmp(header + 4, kLinkClassId, sizeof kLinkClassId) != 0)
        return false;
    flags = Le32(header + 0x14);

    std::uint64_t at = kHeaderSize;
    if ((flags & kHasIdList) && !CheckIdList(in, at))
        return false;
    if (linkInfo)
        *linkInfo = (flags & kHasLinkInfo) ? at : 0;
    if ((flags & kHasLinkInfo) && !CheckLinkInfo(in, at))
        return false;
    const unsigned width = (flags & kIsUnicode) ? 2 : 1;
    for (std::uint32_t flag : kStringFlags) {
        if (!(flags & flag))
            continue;
        std::uint32_t count = 0;
        if (!in.U16(at, count) || std::uint64_t{count} * width > in.Size() - at - 2)
            return false;
        at += 2 + std::uint64_t{count} * width;
    }
    extraData = at;
    return true;
}

bool CheckFrom(Reader& in)
{
    std::uint32_t flags = 0;
    std::uint64_t at = 0;
    if (!CheckSections(in, flags, at))
        return false;
    const unsigned advertised = ((flags & kHasProduct) ? 1 : 0) + ((flags & kHasInstallerId) ? 1 : 0);
    return CheckExtraData(in, at, advertised);
}

// ".lnk" in any case at the end of the name. Comparing bytes is sound in the
// double-byte code pages too: '.' is never the second byte of a character.
bool EndsWithLnk(const char* path)
{
    const std::size_t n = std::strlen(path);
    if (n < 4)
        return false;
    const char* tail = path + n - 4;
    const char* lnk = ".lnk";
    for (int i = 0; i < 4; ++i)
        if ((tail[i] >= 'A' && tail[i] <= 'Z' ? tail[i] - 'A' + 'a' : tail[i]) != lnk[i])
            return false;
    return true;
}

}  // namespace

std::string Digest(const std::string& bytes)
{
    return std::to_string(bytes.size()) + ':' + Sha256Hex(bytes);
}

bool SameDigest(const std::string& bytes, const std::string& digest)
{
    constexpr std::size_t kOldHexDigits = 16;
    const std::size_t colon = digest.find(':');
    if (colon == std::string::npos || digest.size() - colon - 1 != kOldHexDigits)
        return Digest(bytes) == digest;
    std::uint64_t hash = 0xcbf29ce484222325u;
    for (const char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3u;
    }
    static const char kHex[] = "0123456789abcdef";
    std::string text = std::to_string(bytes.size()) + ':';
    for (int shift = 60; shift >= 0; shift -= 4)
        text += kHex[(hash >> shift) & 0xF];
    return text == digest;
}

bool FindLinkSections(ByteSource& source, LinkSections& sections)
{
    sections = LinkSections{};
    Reader in(source);
    return in.Open() && CheckFrom(in) &&
           CheckSections(in, sections.flags, sections.extraData, &sections.linkInfo);
}

bool FindExtraDataBlock(ByteSource& source, const LinkSections& sections, std::uint32_t signature,
                        std::uint64_t& offset, std::uint32_t& size)
{
    Reader in(source);
    if (!in.Open() || sections.extraData > in.Size())
        return false;
    // The blocks as the check walked them.
    std::uint64_t at = sections.extraData;
    for (std::uint32_t blockSize = 0; in.Size() - at >= 8 && in.U32(at, blockSize); at += blockSize) {
        if (blockSize == 0 || blockSize > 0xFFFF || blockSize > in.Size() - at)
            return false;
        if (blockSize < 8) {
            blockSize = 4;
            continue;
        }
        std::uint32_t found = 0;
        if (!in.U32(at + 4, found))
            return false;
        if (found == signature && blockSize >= MinimumBlockSize(signature)) {
            offset = at;
            size = blockSize;
            return true;
        }
    }
    return false;
}

bool StoredEnvironmentTarget(ByteSource& source, std::u16string& target)
{
    constexpr std::uint32_t kHasExpString = 0x200;
    constexpr std::uint32_t kEnvironmentBlock = 0xA0000001;
    target.clear();
    LinkSections sections;
    std::uint64_t at = 0;
    std::uint32_t blockSize = 0;
    if (!FindLinkSections(source, sections) || !(sections.flags & kHasExpString) ||
        !FindExtraDataBlock(source, sections, kEnvironmentBlock, at, blockSize))
        return false;
    Reader in(source);
    const unsigned char* wide = in.Open() ? in.At(at + 8 + 260, 520) : nullptr;
    for (std::size_t i = 0; wide && i + 1 < 520 && (wide[i] || wide[i + 1]); i += 2)
        target += static_cast<char16_t>(wide[i] | wide[i + 1] << 8);
    return !target.empty();
}

bool CheckLinkStructure(ByteSource& source)
{
    Reader in(source);
    return in.Open() && CheckFrom(in);
}

bool MayGoToShell(const char* path, ByteSource& source)
{
    Reader in(source);
    if (!path || !in.Open())
        return false;
    const unsigned char* start = in.At(0, 4);
    if (start && Le32(start) == kHeaderSize)
        return CheckFrom(in);
    return !EndsWithLnk(path);
}

}  // namespace scan
