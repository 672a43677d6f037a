// One snapshot's list: every shortcut a --snapshot run kept, where it was,
// what its bytes were (by digest: the bytes themselves sit once in the
// snapshot folder's content store) and what its target was then. Written
// whole as UTF-8 JSON; read back as data someone else may have written:
// bounded, checked item by item, refused whole at the first fault.
#ifndef VELTMOR_CLI_SNAPSHOT_SNAPSHOTLIST_H
#define VELTMOR_CLI_SNAPSHOT_SNAPSHOTLIST_H

#include <cstdint>
#include <string>
#include <vector>

#include "cli/SnapshotTerms.h"

namespace cli {

// Far beyond a real machine's list (a million shortcuts), far below what
// would exhaust one: a larger file is refused unread.
constexpr std::size_t kLargestSnapshotList = std::size_t{256} << 20;
constexpr std::size_t kMostSnapshotItems = 1000000;
constexpr std::size_t kMostSnapshotPlaces = 100000;

// A folder the run scanned (plain full path), as its rows name it.
struct SnapshotPlace {
    std::string folder;
    std::string location;
    std::string profile;
};

struct SnapshotItem {
    std::string shortcut;   // plain full path, below places[place].folder
    std::string digest;     // scan::Digest of its bytes: "size:sha256"
    std::uint64_t size = 0;
    std::string written;    // its last write time, UTC; "" when unknown
    std::size_t place = 0;
    std::string target;
    std::string status;     // present, missing, unverified; "" for a file not judged (.url)
    std::string reason;
    std::string kind;       // lnk, pif, url: the name's own ending
};

struct SnapshotList {
    std::string time;  // UTC, "2026-12-08T09:00:00Z"
    std::string machine;
    std::string version;
    std::vector<SnapshotPlace> places;
    std::vector<SnapshotItem> items;
};

// The text format's lines for the alarm (none when nothing vanished): the
// count, the first paths, and the command that puts them back. CRLF ends.
std::string VanishedText(const VanishReport& vanished, const std::string& folder);

// Indented UTF-8 JSON; bytes that are not UTF-8 come out as U+FFFD.
std::string SnapshotText(const SnapshotList& list);

// False, with the fault in problem, for anything but a list this program
// writes: not JSON, nested deeper or larger, a member of another type, a
// path that is not a plain full path or lies outside its place, a digest or
// a time of another form.
bool ParseSnapshot(const std::string& text, SnapshotList& list, std::string& problem);

// The digests' hex a list's text names, found without parsing it: what
// pruning keeps for the older lists, which are checked whole only when a
// recovery reads them.
void ListDigests(const std::string& text, std::vector<std::string>& hex);

// "lnk", "pif" or "url" by the name's ending (ASCII case ignored); "" for
// any other.
std::string KindOfName(const std::string& path);

// Where a digest's bytes live below the snapshot folder:
// "content\9f\9f86d0...". "" for a digest of another form.
std::string ContentPlace(const std::string& digest);

// The name of a list taken at time, below the folder's "lists":
// "20261208T090000Z-000.json"; seq tells two of the same second apart.
std::string ListName(const std::string& time, unsigned seq);
// The inverse: the time of a list's name; false for a name of another form.
bool ListTime(const std::string& name, std::string& time);

// names: list names (ListName's form). The latest whose time is not after
// asOf ("": the latest of all); false when there is none.
bool ChooseList(const std::vector<std::string>& names, const std::string& asOf, std::string& chosen);

// The items of previous (their indexes) that current no longer holds, among
// previous's places that current scanned too (paths compared with ASCII
// letters in one case), files not judged (.url) left out: the candidates
// for the vanish alarm, whose targets the caller tests now.
std::vector<std::size_t> VanishCandidates(const SnapshotList& previous, const SnapshotList& current);

}  // namespace cli

#endif
