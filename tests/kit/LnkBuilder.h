// Shell link (.lnk) files built byte by byte from the published layout of
// the format: header, target ID list, link info, string data, extra data
// blocks. Portable: the tests write the bytes wherever they need them.
#ifndef VELTMOR_TESTS_KIT_LNKBUILDER_H
#define VELTMOR_TESTS_KIT_LNKBUILDER_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lnkkit {

// What one file holds; a part left empty is not written and its flag is
// not set. Text is code page 1252; wide fields take it byte for byte, so
// keep to ASCII and Latin-1 letters.
struct LinkParts {
    std::optional<std::vector<std::string>> idList;  // item bodies, each without its size

    // The header's record of the target when the link was saved.
    std::uint32_t fileAttributes = 0x20;  // archive
    std::uint64_t creationTime = 0, accessTime = 0, writeTime = 0;  // FILETIME ticks
    std::uint32_t fileSize = 0;

    // Link info: a fixed drive's volume and local path, or a network share
    // (net name, optional mapped drive) and the rest of the path.
    std::string localBasePath;
    std::string volumeLabel;
    std::string netName;
    std::string deviceName;
    std::string commonPathSuffix;
    bool wideLinkInfo = false;  // the longer header with wide copies of the paths
    std::uint32_t driveType = 3;  // fixed
    std::uint32_t volumeSerial = 0x1234ABCD;
    bool wideVolumeLabel = false;  // the label in UTF-16, behind the second offset

    bool unicode = false;  // string data in UTF-16
    std::optional<std::string> name, relativePath, workingDir, arguments, iconLocation;

    std::string environmentTarget;  // environment variables block
    std::string darwinId;           // installer (darwin) block of an advertised shortcut
    bool tracker = false;           // the link tracker's block, as Windows writes
    std::string trackerMachine = "veltmor";  // its machine name (at most 16 bytes)
    bool trackerIds = true;         // false: its volume and object identifiers all zero
    std::string knownFolder;        // 16 bytes of a known folder's id: that block
    std::string propertyValue;      // property store block holding this one text property

    // Some real files stop this many bytes before their last extra data
    // block ends, with no terminal block; 0 writes the whole file.
    std::size_t lastBlockShortBy = 0;
};

// Where each section of a built file starts; 0 for one that is absent.
struct Layout {
    std::size_t idList = 0;
    std::size_t linkInfo = 0;
    std::size_t strings = 0;  // the first count
    std::vector<std::size_t> blocks;  // each extra data block, then the terminal block if written
};

std::string Build(const LinkParts& parts, Layout* layout = nullptr);

// The shell items of an absolute path on a drive ("C:\Apps\tool.exe"): the
// computer, the drive, one item per folder and one for the file. Names are
// stored as the item's only name, so keep them to 8.3 names.
std::vector<std::string> PathItems(const std::string& path);
std::string ComputerItem();

// An advertised shortcut's descriptor as the installer writes it: the
// product's and the component's codes ("{...}") each packed into 20
// characters, the feature between them, then '>'. Empty for a code that is
// not a GUID.
std::string DarwinDescriptor(const std::string& product, const std::string& feature, const std::string& component);

// The kinds of shortcut found on real machines, and the target each should
// give: "" where it names no file-system path, %NAME% where the target is
// to be expanded from the environment, ".\" where it lies in the
// shortcut's own folder.
struct Variant {
    const char* name;
    LinkParts parts;
    std::string target;
};
const std::vector<Variant>& Variants();
const Variant& VariantNamed(const std::string& name);  // one of the above; aborts on another name

// Little-endian writes into built bytes, for damaged copies.
void Put16(std::string& bytes, std::size_t at, std::uint16_t value);
void Put32(std::string& bytes, std::size_t at, std::uint32_t value);

}  // namespace lnkkit

#endif
