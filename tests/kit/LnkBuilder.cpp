#include "LnkBuilder.h"

#include <cstdlib>

namespace lnkkit {

namespace {

// Link flags.
constexpr std::uint32_t kHasIdList = 0x0001;
constexpr std::uint32_t kHasLinkInfo = 0x0002;
constexpr std::uint32_t kHasName = 0x0004;
constexpr std::uint32_t kHasRelativePath = 0x0008;
constexpr std::uint32_t kHasWorkingDir = 0x0010;
constexpr std::uint32_t kHasArguments = 0x0020;
constexpr std::uint32_t kHasIconLocation = 0x0040;
constexpr std::uint32_t kIsUnicode = 0x0080;
constexpr std::uint32_t kHasExpString = 0x0200;
constexpr std::uint32_t kHasDarwinId = 0x1000;

void Add16(std::string& out, std::uint32_t value)
{
    out += static_cast<char>(value & 0xFF);
    out += static_cast<char>(value >> 8 & 0xFF);
}

void Add32(std::string& out, std::uint32_t value)
{
    Add16(out, value & 0xFFFF);
    Add16(out, value >> 16);
}

std::string Wide(const std::string& text)
{
    std::string wide;
    for (char c : text)
        Add16(wide, static_cast<unsigned char>(c));
    return wide;
}

std::string Terminated(const std::string& text)
{
    return text + '\0';
}

std::string WideTerminated(const std::string& text)
{
    return Wide(text) + std::string(2, '\0');
}

std::uint32_t Size32(std::size_t n)
{
    return static_cast<std::uint32_t>(n);
}

void Add64(std::string& out, std::uint64_t value)
{
    Add32(out, static_cast<std::uint32_t>(value & 0xFFFFFFFF));
    Add32(out, static_cast<std::uint32_t>(value >> 32));
}

std::string Header(std::uint32_t flags, const LinkParts& parts)
{
    std::string out;
    Add32(out, 0x4C);
    out += std::string("\x01\x14\x02\x00\x00\x00\x00\x00\xC0\x00\x00\x00\x00\x00\x00\x46", 16);
    Add32(out, flags);
    Add32(out, parts.fileAttributes);
    Add64(out, parts.creationTime);
    Add64(out, parts.accessTime);
    Add64(out, parts.writeTime);
    Add32(out, parts.fileSize);
    Add32(out, 0);               // icon index
    Add32(out, 1);               // show normally
    out += std::string(12, '\0');  // hotkey, reserved
    return out;
}

std::string IdList(const std::vector<std::string>& items)
{
    std::string list;
    for (const std::string& item : items) {
        Add16(list, Size32(item.size() + 2));
        list += item;
    }
    Add16(list, 0);
    std::string out;
    Add16(out, Size32(list.size()));
    return out + list;
}

std::string VolumeId(const LinkParts& parts)
{
    const std::string label = parts.wideVolumeLabel ? WideTerminated(parts.volumeLabel) : Terminated(parts.volumeLabel);
    const std::uint32_t fixed = parts.wideVolumeLabel ? 0x14 : 0x10;
    std::string out;
    Add32(out, Size32(fixed + label.size()));
    Add32(out, parts.driveType);
    Add32(out, parts.volumeSerial);
    Add32(out, fixed);  // 0x10: the label right after; 0x14: the wide label's offset follows
    if (parts.wideVolumeLabel)
        Add32(out, fixed);
    return out + label;
}

std::string NetworkLink(const std::string& netName, const std::string& deviceName)
{
    const std::uint32_t fixed = 0x14;
    std::string out;
    Add32(out, Size32(fixed + netName.size() + 1 + (deviceName.empty() ? 0 : deviceName.size() + 1)));
    Add32(out, 0x02 | (deviceName.empty() ? 0 : 0x01));  // valid net type, valid device
    Add32(out, fixed);
    Add32(out, deviceName.empty() ? 0 : Size32(fixed + netName.size() + 1));
    Add32(out, 0x00020000);  // LAN Manager
    out += Terminated(netName);
    if (!deviceName.empty())
        out += Terminated(deviceName);
    return out;
}

std::string LinkInfo(const LinkParts& parts)
{
    const bool local = !parts.localBasePath.empty();
    const bool network = !parts.netName.empty();
    const std::uint32_t headerSize = parts.wideLinkInfo ? 0x24 : 0x1C;

    // The structures after the header, each with its offset.
    std::string body;
    const auto place = [&](const std::string& part) {
        const std::uint32_t offset = Size32(headerSize + body.size());
        body += part;
        return offset;
    };
    const std::uint32_t volume = local ? place(VolumeId(parts)) : 0;
    const std::uint32_t localPath = local ? place(Terminated(parts.localBasePath)) : 0;
    const std::uint32_t networkLink = network ? place(NetworkLink(parts.netName, parts.deviceName)) : 0;
    const std::uint32_t suffix = place(Terminated(parts.commonPathSuffix));
    std::uint32_t wideLocalPath = 0, wideSuffix = 0;
    if (parts.wideLinkInfo) {
        wideLocalPath = local ? place(WideTerminated(parts.localBasePath)) : 0;
        wideSuffix = place(WideTerminated(parts.commonPathSuffix));
    }

    std::string out;
    Add32(out, Size32(headerSize + body.size()));
    Add32(out, headerSize);
    Add32(out, (local ? 0x01 : 0) | (network ? 0x02 : 0));
    Add32(out, volume);
    Add32(out, localPath);
    Add32(out, networkLink);
    Add32(out, suffix);
    if (parts.wideLinkInfo) {
        Add32(out, wideLocalPath);
        Add32(out, wideSuffix);
    }
    return out + body;
}

// A block of 260 narrow and 260 wide characters: environment variables,
// installer identifier.
std::string TwoStringBlock(std::uint32_t signature, const std::string& text)
{
    std::string out;
    Add32(out, 0x314);
    Add32(out, signature);
    std::string narrow = Terminated(text);
    narrow.resize(260, '\0');
    std::string wide = WideTerminated(text);
    wide.resize(520, '\0');
    return out + narrow + wide;
}

std::string TrackerBlock(const LinkParts& parts)
{
    std::string out;
    Add32(out, 0x60);
    Add32(out, 0xA0000003);
    Add32(out, 0x58);  // length of the rest
    Add32(out, 0);     // version
    std::string machine = parts.trackerMachine;
    machine.resize(16, '\0');
    out += machine;
    for (int i = 0; i < 64; ++i)  // volume and object identifiers, twice
        out += parts.trackerIds ? static_cast<char>(0x40 + i % 16) : '\0';
    return out;
}

std::string KnownFolderBlock(const std::string& id)
{
    std::string out;
    Add32(out, 0x1C);
    Add32(out, 0xA000000B);
    std::string bytes = id;
    bytes.resize(16, '\0');
    out += bytes;
    Add32(out, 0);  // offset of the folder's item in the ID list
    return out;
}

// A property store block: one serialized property storage (the size, the
// version "1SPS", the format id) holding one text value, then the storage
// list's terminator.
std::string PropertyStoreBlock(const std::string& text)
{
    std::string value;
    Add32(value, 0x0A);   // property id
    value += '\0';        // reserved
    Add16(value, 0x1F);   // VT_LPWSTR
    Add16(value, 0);
    Add32(value, Size32(text.size() + 1));
    value += WideTerminated(text);
    value.resize((value.size() + 4 + 3) / 4 * 4 - 4, '\0');
    std::string storage;
    Add32(storage, 0x53505331);  // "1SPS"
    storage += std::string("\x30\xF1\x25\xB7\xEF\x47\x1A\x10\xA5\xF1\x02\x60\x8C\x9E\xEB\xAC", 16);
    Add32(storage, Size32(value.size() + 4));
    storage += value;
    Add32(storage, 0);  // no more values
    std::string body;
    Add32(body, Size32(storage.size() + 4));
    body += storage;
    Add32(body, 0);  // no more storages
    std::string out;
    Add32(out, Size32(body.size() + 8));
    Add32(out, 0xA0000009);
    return out + body;
}

}  // namespace

std::string Build(const LinkParts& parts, Layout* layout)
{
    Layout where;
    const bool linkInfo = !parts.localBasePath.empty() || !parts.netName.empty();
    const std::optional<std::string>* strings[] = {&parts.name, &parts.relativePath, &parts.workingDir,
                                                   &parts.arguments, &parts.iconLocation};
    const std::uint32_t stringFlags[] = {kHasName, kHasRelativePath, kHasWorkingDir, kHasArguments,
                                         kHasIconLocation};

    std::uint32_t flags = (parts.idList ? kHasIdList : 0) | (linkInfo ? kHasLinkInfo : 0) |
                          (parts.unicode ? kIsUnicode : 0) |
                          (parts.environmentTarget.empty() ? 0 : kHasExpString) |
                          (parts.darwinId.empty() ? 0 : kHasDarwinId);
    for (int i = 0; i < 5; ++i)
        flags |= *strings[i] ? stringFlags[i] : 0;

    std::string out = Header(flags, parts);
    if (parts.idList) {
        where.idList = out.size();
        out += IdList(*parts.idList);
    }
    if (linkInfo) {
        where.linkInfo = out.size();
        out += LinkInfo(parts);
    }
    where.strings = out.size();
    for (const std::optional<std::string>* text : strings) {
        if (!*text)
            continue;
        Add16(out, Size32((*text)->size()));  // characters, no terminator
        out += parts.unicode ? Wide(**text) : **text;
    }
    const auto block = [&](const std::string& bytes) {
        where.blocks.push_back(out.size());
        out += bytes;
    };
    if (!parts.environmentTarget.empty())
        block(TwoStringBlock(0xA0000001, parts.environmentTarget));
    if (!parts.darwinId.empty())
        block(TwoStringBlock(0xA0000006, parts.darwinId));
    if (parts.tracker)
        block(TrackerBlock(parts));
    if (!parts.knownFolder.empty())
        block(KnownFolderBlock(parts.knownFolder));
    if (!parts.propertyValue.empty())
        block(PropertyStoreBlock(parts.propertyValue));
    if (parts.lastBlockShortBy)
        out.resize(out.size() - parts.lastBlockShortBy);
    else
        block(std::string(4, '\0'));  // terminal block
    if (layout)
        *layout = where;
    return out;
}

std::string ComputerItem()
{
    // A root item (0x1F, sorted as My Computer) holding the computer's class id.
    return std::string("\x1F\x50\xE0\x4F\xD0\x20\xEA\x3A\x69\x10\xA2\xD8\x08\x00\x2B\x30\x30\x9D", 18);
}

std::vector<std::string> PathItems(const std::string& path)
{
    std::vector<std::string> items{ComputerItem()};
    std::string drive = "\x2F" + path.substr(0, 3);  // "C:\"
    drive.resize(23, '\0');
    items.push_back(drive);

    std::size_t from = 3;
    while (from < path.size()) {
        std::size_t end = path.find('\\', from);
        const bool folder = end != std::string::npos;
        if (!folder)
            end = path.size();
        std::string item;
        item += folder ? '\x31' : '\x32';
        item += '\0';
        Add32(item, 0);             // size
        Add32(item, 0x6D525A88);    // modified, as a DOS date and time
        Add16(item, folder ? 0x10 : 0x20);  // directory or archive
        item += Terminated(path.substr(from, end - from));
        if (item.size() % 2)
            item += '\0';  // items keep an even length
        items.push_back(item);
        from = end + 1;
    }
    return items;
}

const std::vector<Variant>& Variants()
{
    static const std::vector<Variant> variants = [] {
        const std::string tool = "C:\\Apps\\Tool\\tool.exe";
        std::vector<Variant> v;

        LinkParts local;  // Windows 98 style: narrow strings
        local.idList = PathItems(tool);
        local.localBasePath = tool;
        local.volumeLabel = "SYSTEM";
        local.workingDir = "C:\\Apps\\Tool";
        local.tracker = true;
        v.push_back({"local", local, tool});

        LinkParts unc;
        unc.netName = "\\\\SERVER\\SHARE";
        unc.deviceName = "S:";
        unc.commonPathSuffix = "Apps\\tool.exe";
        unc.unicode = true;
        unc.name = "Tool on the server";
        v.push_back({"unc", unc, "\\\\SERVER\\SHARE\\Apps\\tool.exe"});

        LinkParts relative;
        relative.relativePath = ".\\tool.exe";
        v.push_back({"relative", relative, ".\\tool.exe"});

        LinkParts environment;
        environment.environmentTarget = "%SystemRoot%\\notepad.exe";
        environment.unicode = true;
        v.push_back({"environment", environment, "%SystemRoot%\\notepad.exe"});

        LinkParts unicode;
        unicode.idList = PathItems("C:\\Edit\\edit.exe");
        unicode.localBasePath = "C:\\Edit\\edit.exe";
        unicode.wideLinkInfo = true;
        unicode.unicode = true;
        unicode.name = "Caf\xe9 cr\xe8me";
        unicode.workingDir = "C:\\Caf\xe9";
        unicode.arguments = "\"cr\xe8me br\xfbl\xe9" "e.txt\"";
        unicode.iconLocation = "C:\\Edit\\edit.exe";
        v.push_back({"unicode", unicode, "C:\\Edit\\edit.exe"});

        LinkParts idListOnly;
        idListOnly.idList = std::vector<std::string>{ComputerItem()};
        v.push_back({"idlist", idListOnly, ""});

        LinkParts advertised;  // as an installer writes it: the icon's path, the product in the block
        advertised.idList = PathItems("C:\\Windows\\Installer\\App\\icon.exe");
        advertised.unicode = true;
        advertised.name = "Advertised application";
        advertised.iconLocation = "C:\\Windows\\Installer\\App\\icon.exe";
        advertised.darwinId = "w_1^VX!!!!!!!!!MKKSkVeltmor>Vz+U?Gbt8TcZ]!!";
        v.push_back({"advertised", advertised, ""});

        LinkParts longer;
        longer.idList = PathItems(tool);
        longer.localBasePath = tool;
        longer.unicode = true;
        longer.name = std::string(300, 'd');
        longer.arguments = "/x " + std::string(400, 'a');
        v.push_back({"long", longer, tool});

        // As found on a real machine: variables, tracker and property store
        // blocks, the file ending inside the last of them. The shell reads it.
        LinkParts shortBlock;
        shortBlock.idList = PathItems(tool);
        shortBlock.localBasePath = tool;
        shortBlock.volumeLabel = "SYSTEM";
        shortBlock.unicode = true;
        shortBlock.workingDir = "C:\\Apps\\Tool";
        shortBlock.environmentTarget = "%SystemDrive%\\Apps\\Tool\\tool.exe";
        shortBlock.tracker = true;
        shortBlock.propertyValue = "tool.exe";
        shortBlock.lastBlockShortBy = 20;
        v.push_back({"shortblock", shortBlock, shortBlock.environmentTarget});
        return v;
    }();
    return variants;
}

const Variant& VariantNamed(const std::string& name)
{
    for (const Variant& variant : Variants())
        if (name == variant.name)
            return variant;
    std::abort();
}

void Put16(std::string& bytes, std::size_t at, std::uint16_t value)
{
    bytes[at] = static_cast<char>(value & 0xFF);
    bytes[at + 1] = static_cast<char>(value >> 8);
}

void Put32(std::string& bytes, std::size_t at, std::uint32_t value)
{
    Put16(bytes, at, static_cast<std::uint16_t>(value & 0xFFFF));
    Put16(bytes, at + 2, static_cast<std::uint16_t>(value >> 16));
}

namespace {

// A GUID's 16 bytes as four little-endian 32-bit numbers, each written as
// five base-85 digits, least significant first.
std::string PackedGuid(const std::string& text)
{
    static const char kDigits[] = "!$%&'()*+,-.0123456789=?@ABCDEFGHIJKLMNOPQRSTUVWXYZ[]^_`abcdefghijklmnopqrstuvwxyz{}~";
    std::string hex;
    for (char c : text)
        if (c != '{' && c != '}' && c != '-')
            hex += c;
    if (text.size() != 38 || hex.size() != 32 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return std::string();
    const auto field = [&hex](std::size_t at, std::size_t digits) {
        return static_cast<std::uint32_t>(std::stoul(hex.substr(at, digits), nullptr, 16));
    };
    // Data1, Data2 and Data3 are numbers; Data4 is eight bytes in order.
    std::uint32_t words[4] = {field(0, 8), field(8, 4) | (field(12, 4) << 16), 0, 0};
    for (std::size_t i = 0; i < 8; ++i)
        words[2 + i / 4] |= field(16 + 2 * i, 2) << (8 * (i % 4));
    std::string packed;
    for (std::uint32_t word : words)
        for (int i = 0; i < 5; ++i, word /= 85)
            packed += kDigits[word % 85];
    return packed;
}

}  // namespace

std::string DarwinDescriptor(const std::string& product, const std::string& feature, const std::string& component)
{
    const std::string p = PackedGuid(product), c = PackedGuid(component);
    return p.empty() || c.empty() ? std::string() : p + feature + ">" + c;
}

}  // namespace lnkkit
