// Our own structure check of a shell link file, made before the shell's
// reader sees it. That reader trusts the sizes written in the file: an ID
// list item claiming more than its list holds makes it read past its
// buffer, a link-info size near 4 GB makes it allocate that much. The check
// refuses what would crash the reader, make it allocate without bound or read
// past what it holds, and nothing else: the rest is the shell's to judge, and
// it reads many a damaged file whole (trailing bytes, a missing terminal
// block, a last extra data block running past the end). Portable: it reads
// through a byte source in pieces of at most 4 KB (one read for a typical
// shortcut), never past the file's end, and holds no more than one piece
// whatever the file declares; it allocates nothing.
#ifndef VELTMOR_SCAN_LINKSTRUCTURE_H
#define VELTMOR_SCAN_LINKSTRUCTURE_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace scan {

// Random access to a file's bytes.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // The file's length in bytes; false when it cannot be told.
    virtual bool Size(std::uint64_t& size) = 0;
    // Exactly length bytes from offset into buffer; false when they cannot
    // all be read. The check never asks past the size it was told.
    virtual bool Read(std::uint64_t offset, void* buffer, std::size_t length) = 0;
};

// Bytes already in memory (tests, the fuzz target). Does not copy them.
class MemoryByteSource : public ByteSource {
public:
    MemoryByteSource(const void* bytes, std::size_t size) : m_bytes(bytes), m_size(size) {}
    bool Size(std::uint64_t& size) override;
    bool Read(std::uint64_t offset, void* buffer, std::size_t length) override;

private:
    const void* m_bytes;
    std::size_t m_size;
};

// True when the file is a shell link whose header, ID list, link info and
// string data (only those its flags announce) all lie inside it, each string
// of the link info terminated inside the link info, and whose extra data
// blocks, as far as the shell's list reader takes them whole, hold their
// layout and terminate their text fields.
bool CheckLinkStructure(ByteSource& source);

// Whether the file at path may be handed to the shell link service. A file
// that starts with the link header size gets the full check, whatever its
// name. One that does not is refused when its name ends in ".lnk"; any other
// (a program-information file, ".pif", which the shell reads its own way) goes
// to the shell as before.
bool MayGoToShell(const char* path, ByteSource& source);

// A digest of a file's bytes, its length and SHA-256 ("2048:9f86d0..."):
// two reads of one file agree when its bytes have not changed, and no one
// can write other bytes that agree.
std::string Digest(const std::string& bytes);

// True when bytes give digest: one of Digest's, or one an earlier version
// wrote into a manifest (the length and a 64-bit FNV-1a hash), so that its
// repairs can still be undone.
bool SameDigest(const std::string& bytes, const std::string& digest);

// The target stored in the environment-variable block
// ("%LOCALAPPDATA%\\..."), as UTF-16 code units: a scan of another user's
// profile must expand it with that user's values, and Wine's shell does not
// give it at all. False when the file fails the check or has no such block.
bool StoredEnvironmentTarget(ByteSource& source, std::u16string& target);

// Where the parts of a file that passes the check lie, for readers of the
// fields the check passes over. False when the file fails the check.
struct LinkSections {
    std::uint32_t flags = 0;      // the header's link flags
    std::uint64_t linkInfo = 0;   // 0 when the flags announce none
    std::uint64_t extraData = 0;  // the first extra data block
};
bool FindLinkSections(ByteSource& source, LinkSections& sections);

// The first extra data block of this signature that the shell's list reader
// takes whole and that holds the block's published fields: its offset and
// size. Sections come from FindLinkSections on the same source.
bool FindExtraDataBlock(ByteSource& source, const LinkSections& sections, std::uint32_t signature,
                        std::uint64_t& offset, std::uint32_t& size);

}  // namespace scan

#endif
