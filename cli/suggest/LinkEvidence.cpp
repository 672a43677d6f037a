#include "LinkEvidence.h"

#include <algorithm>

#include "scan/PathText.h"

namespace cli {

namespace {

constexpr std::uint32_t kHeaderSize = 0x4C;
constexpr std::uint32_t kVolumeAndLocalPath = 0x01;  // link-info flag
constexpr std::uint32_t kKnownFolderBlock = 0xA000000B;
constexpr std::size_t kKnownFolderSize = 0x1C;
constexpr std::uint32_t kNetworkAndPathSuffix = 0x02;  // link-info flag
constexpr std::uint32_t kValidDevice = 0x01;           // network record flag
constexpr std::size_t kLongestPathPart = 32767;

std::uint32_t Le32(const unsigned char* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::uint64_t Le64(const unsigned char* p)
{
    return static_cast<std::uint64_t>(Le32(p)) | static_cast<std::uint64_t>(Le32(p + 4)) << 32;
}

// Reads that never ask the source for a byte past its size, whatever an
// offset in the file says.
class Bounded {
public:
    explicit Bounded(scan::ByteSource& source) : m_source(source) {}
    bool Open() { return m_source.Size(m_size); }

    bool Read(std::uint64_t offset, void* buffer, std::size_t length)
    {
        return offset <= m_size && length <= m_size - offset && m_source.Read(offset, buffer, length);
    }
    bool U32(std::uint64_t offset, std::uint32_t& value)
    {
        unsigned char bytes[4];
        if (!Read(offset, bytes, sizeof bytes))
            return false;
        value = Le32(bytes);
        return true;
    }

    // Text of width-byte characters from offset up to a null character or
    // end, at most limit characters, in one read: UTF-8 for wide text,
    // bytes as stored for narrow text.
    std::string Text(std::uint64_t offset, std::uint64_t end, unsigned width, std::size_t limit)
    {
        if (offset >= end || offset > m_size)
            return std::string();
        std::uint64_t length = std::min<std::uint64_t>({end - offset, m_size - offset, std::uint64_t{limit} * width});
        length -= length % width;
        std::string bytes(static_cast<std::size_t>(length), '\0');
        if (!Read(offset, &bytes[0], bytes.size()))
            return std::string();
        std::string narrow;
        std::u16string wide;
        for (std::size_t i = 0; i + width <= bytes.size(); i += width) {
            const unsigned char low = static_cast<unsigned char>(bytes[i]);
            const unsigned char high = width == 2 ? static_cast<unsigned char>(bytes[i + 1]) : 0;
            if (low == 0 && high == 0)
                break;
            if (width == 1)
                narrow += bytes[i];
            else
                wide += static_cast<char16_t>(low | high << 8);
        }
        return width == 1 ? narrow : Utf8FromUtf16(wide);
    }

private:
    scan::ByteSource& m_source;
    std::uint64_t m_size = 0;
};

void ReadVolume(Bounded& in, std::uint64_t linkInfo, LinkEvidence& evidence)
{
    std::uint32_t infoSize = 0, flags = 0, volumeOffset = 0;
    if (!in.U32(linkInfo, infoSize) || !in.U32(linkInfo + 8, flags) || !in.U32(linkInfo + 0x0C, volumeOffset) ||
        !(flags & kVolumeAndLocalPath) || volumeOffset >= infoSize)
        return;
    const std::uint64_t volume = linkInfo + volumeOffset;
    unsigned char fixed[0x10] = {};
    std::uint32_t volumeSize = 0;
    if (!in.U32(volume, volumeSize) || volumeSize < 0x10 || volumeSize > infoSize - volumeOffset ||
        !in.Read(volume, fixed, 0x10))
        return;
    evidence.hasVolume = true;
    evidence.driveType = Le32(fixed + 4);
    evidence.volumeSerial = Le32(fixed + 8);
}

// A narrow text of unknown code page is kept only when it is ASCII.
std::string AsciiOnly(std::string text)
{
    for (char c : text)
        if (static_cast<unsigned char>(c) >= 0x80)
            return std::string();
    return text;
}

// The link info's network record: the share's name and the drive it was
// mapped to, wide when the record holds wide copies.
void ReadNetwork(Bounded& in, std::uint64_t linkInfo, RecordedVolume& volume)
{
    std::uint32_t infoSize = 0, flags = 0, offset = 0;
    if (!in.U32(linkInfo, infoSize) || !in.U32(linkInfo + 8, flags) || !in.U32(linkInfo + 0x14, offset) ||
        !(flags & kNetworkAndPathSuffix) || offset >= infoSize)
        return;
    const std::uint64_t record = linkInfo + offset;
    std::uint32_t size = 0, netFlags = 0, netName = 0, device = 0, wideNet = 0, wideDevice = 0;
    if (!in.U32(record, size) || size < 0x14 || size > infoSize - offset || !in.U32(record + 4, netFlags) ||
        !in.U32(record + 8, netName) || !in.U32(record + 0x0C, device))
        return;
    const std::uint64_t end = record + size;
    volume.driveType = kDriveRemote;
    const bool wide = netName > 0x14 && size >= 0x1C && in.U32(record + 0x14, wideNet) &&
                      in.U32(record + 0x18, wideDevice);
    volume.netName = wide ? in.Text(record + wideNet, end, 2, kLongestPathPart)
                          : AsciiOnly(in.Text(record + netName, end, 1, kLongestPathPart));
    if (netFlags & kValidDevice)
        volume.deviceName = wide ? in.Text(record + wideDevice, end, 2, kLongestPathPart)
                                 : AsciiOnly(in.Text(record + device, end, 1, kLongestPathPart));
}

}  // namespace

std::string Utf8FromUtf16(const std::u16string& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

bool ReadRecordedVolume(scan::ByteSource& source, RecordedVolume& volume)
{
    volume = RecordedVolume{};
    scan::LinkSections sections;
    Bounded in(source);
    if (!scan::FindLinkSections(source, sections) || !sections.linkInfo || !in.Open())
        return false;
    LinkEvidence evidence;
    ReadVolume(in, sections.linkInfo, evidence);
    volume.driveType = evidence.driveType;
    ReadNetwork(in, sections.linkInfo, volume);
    return evidence.hasVolume || volume.driveType == kDriveRemote;
}

std::string SharePath(const RecordedVolume& volume, const std::string& target)
{
    const std::string& device = volume.deviceName;
    if (volume.netName.size() < 3 || volume.netName.compare(0, 2, "\\\\") != 0 || device.size() != 2 ||
        device[1] != ':' || target.size() < 2 || scan::AsciiLower(target.substr(0, 2)) != scan::AsciiLower(device) ||
        (target.size() > 2 && target[2] != '\\'))
        return std::string();
    std::string share = volume.netName;
    while (!share.empty() && share.back() == '\\')
        share.pop_back();
    return share + (target.size() > 2 ? target.substr(2) : std::string("\\"));
}

bool ReadLinkEvidence(scan::ByteSource& source, LinkEvidence& evidence)
{
    evidence = LinkEvidence{};
    scan::LinkSections sections;
    Bounded in(source);
    unsigned char header[kHeaderSize];
    if (!scan::FindLinkSections(source, sections) || !in.Open() || !in.Read(0, header, sizeof header))
        return false;
    evidence.writeTime = Le64(header + 0x2C);
    evidence.fileSize = Le32(header + 0x34);

    if (sections.linkInfo)
        ReadVolume(in, sections.linkInfo, evidence);

    std::uint64_t block = 0;
    std::uint32_t blockSize = 0;
    unsigned char known[kKnownFolderSize];
    evidence.hasKnownFolder = scan::FindExtraDataBlock(source, sections, kKnownFolderBlock, block, blockSize) &&
                              blockSize >= kKnownFolderSize && in.Read(block, known, sizeof known);
    std::u16string environment;
    if (scan::StoredEnvironmentTarget(source, environment))
        evidence.environmentTarget = Utf8FromUtf16(environment);
    return true;
}

}  // namespace cli
