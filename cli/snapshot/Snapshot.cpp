#include "Snapshot.h"

#include <algorithm>

#include "cli/quarantine/Quarantine.h"
#include "cli/quarantine/QuarantineLayout.h"
#include "scan/LinkStructure.h"
#include "scan/PathText.h"

namespace cli {

namespace {

const char kProgram[] = "veltmor-scan: ";
const char kLockName[] = "snapshot.lock";
const char kManifestName[] = "manifest.json";
const char kJournalName[] = "journal.jsonl";
const char kLists[] = "lists";
const char kContent[] = "content";
// Far beyond any shortcut: a larger file is not kept, nor read back.
constexpr std::size_t kLargestShortcut = std::size_t{64} << 20;
constexpr std::size_t kMostLists = 10000;

using scan::Quoted;

std::string Key(const std::string& path)
{
    return scan::AsciiLower(path);
}

std::string HexOf(const std::string& digest)
{
    const std::size_t colon = digest.find(':');
    return colon == std::string::npos ? std::string() : digest.substr(colon + 1);
}

bool IsHexName(const std::string& name)
{
    return name.size() == 64 &&
           std::all_of(name.begin(), name.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

}  // namespace

void KeepListed(std::vector<ScanRow>& rows, bool ignoreRemovable, bool displayAll)
{
    if (displayAll)
        return;
    // As the engine's ShouldList: an unverified target counts as there.
    rows.erase(std::remove_if(rows.begin(), rows.end(),
                              [ignoreRemovable](const ScanRow& row) {
                                  return row.present || row.unverified ||
                                         (ignoreRemovable && row.driveType != scan::kDriveFixed);
                              }),
               rows.end());
}

CSnapshot::CSnapshot(Mover& mover, scan::ScanFileSystem& fileSystem, ScanHost& host, FileTimes* times)
    : m_mover(mover), m_fileSystem(fileSystem), m_host(host), m_times(times)
{
}

std::string CSnapshot::OpenFolder(const std::string& folder, bool make)
{
    const std::string shown = Quoted(folder);
    std::string full;
    if (folder.empty() || !PlainFullPath(m_mover.FullPath(folder), full))
        return "not a usable snapshot folder: " + shown;
    if (ParentOf(full).empty())
        return "a drive's or a share's root cannot be the snapshot folder: " + shown;
    const bool exists = m_mover.Exists(full);
    if (exists && !m_mover.IsFolder(full))
        return "not a folder: " + shown;
    if (!exists && !make)
        return "no such folder: " + shown;
    if (exists && !m_mover.LinkBelow(ParentOf(full), full).empty())
        return "the snapshot folder is a link to elsewhere: " + shown;
    m_folder = full;
    m_computer = m_mover.ComputerName();
    if (m_dryRun)
        return Inventory();
    if (!exists && !m_mover.MakeFolders(full))
        return "cannot create the snapshot folder " + shown + ": " + m_mover.LastError();
    // One run at a time: a second would prune what the first is writing,
    // or recover what the first is recovering.
    if (!m_mover.Lock(full + "\\" + kLockName))
        return "another veltmor-scan is using the snapshot folder " + shown + ", or it cannot be locked: " +
               m_mover.LastError();
    for (const char* below : {kLists, kContent}) {
        const std::string link = m_mover.LinkBelow(full, full + "\\" + below);
        if (!link.empty())
            return "a link lies in the snapshot folder: " + Quoted(link) + "; move it away first";
    }
    return Inventory();
}

std::string CSnapshot::Inventory()
{
    std::vector<std::string> files, skipped;
    m_mover.ListFiles(m_folder, files, skipped);
    for (const std::string& folder : skipped)
        if (folder.compare(0, 6, "lists\\") == 0 || folder == kLists)
            return "cannot read the snapshot folder's " + Quoted(m_folder + "\\" + folder) +
                   " (a link, or not readable); move it away first";
    m_lists.clear();
    m_contents.clear();
    for (const std::string& file : files) {
        if (IsTemporaryName(file)) {
            // A killed run's half-written file: only our own names, only here.
            if (!m_dryRun)
                m_mover.RemoveIfSame(m_folder, m_folder + "\\" + file, std::string());
            continue;
        }
        std::string time;
        if (file.compare(0, 6, "lists\\") == 0) {
            if (!ListTime(file.substr(6), time))
                return Quoted(m_folder + "\\" + file) + " is not a snapshot list; move it away first";
            m_lists.push_back(file.substr(6));
        } else if (file.size() == 8 + 3 + 64 && file.compare(0, 8, "content\\") == 0 && file[10] == '\\' &&
                   IsHexName(file.substr(11)) && file.compare(8, 2, file, 11, 2) == 0) {
            m_contents.insert(file.substr(11));
        }
        // Anything else is not ours: never read, never removed.
    }
    if (m_lists.size() > kMostLists)
        return "the snapshot folder holds more lists than a snapshot folder can; move some away first";
    std::sort(m_lists.begin(), m_lists.end());
    return std::string();
}

std::string CSnapshot::ReadList(const std::string& name, SnapshotList& list)
{
    const std::string path = m_folder + "\\" + kLists + "\\" + name;
    std::string text, problem, time;
    switch (m_mover.ReadBelow(m_folder, path, kLargestSnapshotList, text)) {
    case Mover::Read::Done:
        break;
    case Mover::Read::TooLarge:
        return Quoted(path) + " is larger than a snapshot list can be; move it away first";
    case Mover::Read::Link:
        return Quoted(path) + " is a link; move it away first";
    case Mover::Read::Absent:
    case Mover::Read::Failed:
        return "cannot read " + Quoted(path) + ": " + m_mover.LastError();
    }
    if (!ParseSnapshot(text, list, problem))
        return Quoted(path) + " is not a snapshot list (" + problem + "); move it away first";
    if (!ListTime(name, time) || time != list.time)
        return Quoted(path) + " is not a snapshot list (its time is not its name's); move it away first";
    return std::string();
}

std::string CSnapshot::OpenForSnapshot(const std::string& folder)
{
    m_dryRun = false;
    const std::string problem = OpenFolder(folder, true);
    if (!problem.empty())
        return problem;
    // The latest list is checked whole before anything is written: the new
    // one is compared with it. The older ones are read for pruning alone.
    if (m_lists.empty())
        return std::string();
    const std::string bad = ReadList(m_lists.back(), m_previous);
    if (!bad.empty())
        return bad;
    m_hasPrevious = true;
    std::vector<std::string>& named = m_named[m_lists.back()];
    for (const SnapshotItem& item : m_previous.items)
        named.push_back(HexOf(item.digest));
    return std::string();
}

bool CSnapshot::Keep(const std::string& digest, const std::string& bytes, std::string& problem)
{
    const std::string hex = HexOf(digest);
    if (m_contents.count(hex))
        return true;
    const std::string path = m_folder + "\\" + ContentPlace(digest);
    Mover::Moved written = m_mover.WriteNew(m_folder, path, bytes, Mover::Flush::Batch);
    if (written == Mover::Moved::Taken) {
        // Not in the listing, yet there: whatever it holds goes for ours.
        if (m_mover.RemoveIfSame(m_folder, path, std::string()) == Mover::Moved::Yes)
            written = m_mover.WriteNew(m_folder, path, bytes, Mover::Flush::Batch);
    }
    if (written != Mover::Moved::Yes) {
        problem = "cannot keep a shortcut's bytes in " + Quoted(path) + ": " +
                  (written == Mover::Moved::Link ? "a link lies on its way: " + Quoted(m_mover.StoppedAt())
                                                 : m_mover.LastError());
        return false;
    }
    m_contents.insert(hex);
    return true;
}

std::string CSnapshot::Take(const std::vector<ScanRow>& rows, const std::vector<SnapshotPlace>& places, unsigned keep,
                            VanishReport& vanished)
{
    SnapshotList list;
    list.time = m_host.UtcTime();
    list.machine = m_computer;
    list.version = VELTMOR_VERSION;
    // The places by the text the rows name them with; each once.
    std::map<std::string, std::size_t> placeOf;
    std::map<std::string, std::size_t> byFull;
    for (const SnapshotPlace& given : places) {
        SnapshotPlace place = given;
        if (!PlainFullPath(m_mover.FullPath(given.folder), place.folder) || ParentOf(place.folder).empty())
            continue;
        const auto known = byFull.find(Key(place.folder));
        if (known != byFull.end()) {
            placeOf[given.folder] = known->second;
            continue;
        }
        byFull[Key(place.folder)] = list.places.size();
        placeOf[given.folder] = list.places.size();
        list.places.push_back(place);
    }

    std::set<std::string> seen;
    std::string problem;
    const auto add = [&](const std::string& path, std::size_t place, const ScanRow* row) {
        std::string full;
        const std::string& folder = list.places[place].folder;
        if (!PlainFullPath(m_mover.FullPath(path), full) || !IsWithin(full, folder) || full.size() <= folder.size() ||
            KindOfName(full).empty() || !seen.insert(Key(full)).second)
            return true;
        SnapshotItem item;
        item.shortcut = full;
        item.place = place;
        item.kind = KindOfName(full);
        if (row) {
            item.target = row->target;
            item.status = row->StatusName();
            item.reason = row->ReasonName();
            item.digest = row->digest;
        }
        // The scan's digest names bytes the store may hold already: then the
        // file is not read again. Otherwise it is read by handle from its
        // place, no link followed, and kept under the digest of what was read.
        if (item.digest.empty() || !m_contents.count(HexOf(item.digest))) {
            std::string bytes;
            const Mover::Read read = m_mover.ReadBelow(folder, full, kLargestShortcut, bytes);
            if (read != Mover::Read::Done) {
                Named(read == Mover::Read::Link ? "not kept (a link lies on its way: " + Quoted(m_mover.StoppedAt()) + ")"
                      : read == Mover::Read::TooLarge ? std::string("not kept (larger than a shortcut can be)")
                                                      : "not kept (" + m_mover.LastError() + ")",
                      full);
                return true;
            }
            item.digest = scan::Digest(bytes);
            if (!Keep(item.digest, bytes, problem))
                return false;
        }
        item.size = static_cast<std::uint64_t>(item.digest.size() ? std::stoull(item.digest) : 0);
        if (m_times) {
            item.written = m_times->WriteTime(full);
            if (!IsUtcTime(item.written))
                item.written.clear();
        }
        list.items.push_back(std::move(item));
        return true;
    };
    for (const ScanRow& row : rows) {
        const auto place = placeOf.find(row.root);
        if (place != placeOf.end() && !add(row.shortcut, place->second, &row))
            return problem;
    }
    // Internet shortcuts in the same folders: their bytes only, not judged.
    for (std::size_t i = 0; i < list.places.size(); ++i) {
        std::vector<std::string> files, skipped;
        m_mover.ListFiles(list.places[i].folder, files, skipped);
        for (const std::string& file : files)
            if (KindOfName(file) == "url" && !add(list.places[i].folder + "\\" + file, i, nullptr))
                return problem;
    }

    // The new list, whole, beside the others: a name no list has yet.
    std::string name;
    for (unsigned seq = 0; seq < 1000; ++seq) {
        name = ListName(list.time, seq);
        if (!std::binary_search(m_lists.begin(), m_lists.end(), name))
            break;
    }
    // The contents on the disk before the list that names them.
    if (!m_mover.Settle())
        return "cannot flush the kept shortcuts in " + Quoted(m_folder) + ": " + m_mover.LastError();
    const std::string lists = m_folder + "\\" + kLists;
    if (!m_mover.Exists(lists) && !m_mover.MakeFolders(lists))
        return "cannot create " + Quoted(lists) + ": " + m_mover.LastError();
    if (!m_mover.ReplaceFile(lists + "\\" + name, SnapshotText(list)))
        return "cannot write " + Quoted(lists + "\\" + name) + ": " + m_mover.LastError();

    vanished = VanishReport();
    vanished.taken = true;
    if (m_hasPrevious) {
        vanished.since = m_previous.time;
        for (std::size_t index : VanishCandidates(m_previous, list)) {
            const SnapshotItem& item = m_previous.items[index];
            std::string why;
            if (!TargetPresent(item, why))
                continue;
            ++vanished.count;
            if (vanished.items.size() < kMostVanishedListed) {
                const SnapshotPlace& place = m_previous.places[item.place];
                vanished.items.push_back({item.shortcut, item.target, m_previous.time, place.location, place.profile});
            }
        }
    }
    std::vector<std::string>& named = m_named[name];
    for (const SnapshotItem& item : list.items)
        named.push_back(HexOf(item.digest));
    m_lists.push_back(name);
    std::sort(m_lists.begin(), m_lists.end());
    Prune(name, keep);
    return std::string();
}

void CSnapshot::Prune(const std::string& newest, unsigned keep)
{
    // The oldest lists go first; the new one always stays.
    keep = std::max(keep, 1u);
    bool removed = false;
    while (m_lists.size() > keep && m_lists.front() != newest) {
        const std::string path = m_folder + "\\" + kLists + "\\" + m_lists.front();
        if (m_mover.RemoveIfSame(m_folder, path, std::string()) != Mover::Moved::Yes) {
            Named("not removed (" + m_mover.LastError() + ")", path);
            break;
        }
        m_named.erase(m_lists.front());
        m_lists.erase(m_lists.begin());
        removed = true;
    }
    if (!removed)
        return;
    // The contents no list names any more go, a killed run's among them;
    // a list that cannot be read keeps them all.
    std::set<std::string> named;
    for (const std::string& name : m_lists) {
        const auto known = m_named.find(name);
        if (known != m_named.end()) {
            named.insert(known->second.begin(), known->second.end());
            continue;
        }
        const std::string path = m_folder + "\\" + kLists + "\\" + name;
        std::string text;
        std::vector<std::string> hex;
        if (m_mover.ReadBelow(m_folder, path, kLargestSnapshotList, text) != Mover::Read::Done) {
            Named("contents kept, a list cannot be read (" + m_mover.LastError() + ")", path);
            return;
        }
        ListDigests(text, hex);
        named.insert(hex.begin(), hex.end());
    }
    for (const std::string& hex : m_contents)
        if (!named.count(hex))
            m_mover.RemoveIfSame(m_folder, m_folder + "\\" + kContent + "\\" + hex.substr(0, 2) + "\\" + hex,
                                 std::string());
}

bool CSnapshot::TargetPresent(const SnapshotItem& item, std::string& why)
{
    // Proven there, as the scan proves it; an Internet shortcut's target is
    // not a file and is not judged.
    if (item.kind == "url")
        return true;
    if (item.target.empty()) {
        why = "it had no target to test";
        return false;
    }
    scan::ShortcutTarget target;
    target.text = item.target;
    const scan::Presence now =
        item.kind == "pif" ? m_fileSystem.PifTargetPresence(target) : m_fileSystem.LinkTargetPresence(target);
    if (now.verdict == scan::Verdict::Present)
        return true;
    why = now.ProvenMissing() ? "its target is gone too" : "its target cannot be tested (" + now.detail + ")";
    return false;
}

void CSnapshot::Named(const std::string& what, const std::string& path)
{
    m_host.WriteError(kProgram + what + ": " + Quoted(path));
}

std::string CSnapshot::OpenForRecover(const std::string& folder, const std::string& asOf, bool dryRun)
{
    m_dryRun = dryRun;
    std::string problem = OpenFolder(folder, false);
    if (!problem.empty())
        return problem;
    std::string name;
    if (!ChooseList(m_lists, asOf, name))
        return asOf.empty() ? "the snapshot folder " + Quoted(folder) + " holds no snapshot"
                            : "the snapshot folder " + Quoted(folder) + " holds no snapshot taken by " + asOf;
    problem = ReadList(name, m_chosen);
    if (!problem.empty())
        return problem;

    const std::string manifestPath = m_folder + "\\" + kManifestName;
    const std::string journalPath = m_folder + "\\" + kJournalName;
    std::string text;
    switch (m_mover.ReadBelow(m_folder, manifestPath, kLargestManifest, text)) {
    case Mover::Read::Absent:
        break;
    case Mover::Read::Done:
        if (m_manifest.Load(text))
            break;
        [[fallthrough]];
    default:
        return Quoted(manifestPath) + " is not a manifest of ours; move it away first";
    }
    switch (m_mover.ReadBelow(m_folder, journalPath, kLargestJournal, text)) {
    case Mover::Read::Absent:
        return std::string();
    case Mover::Read::Done:
        break;
    default:
        return Quoted(journalPath) + " is not a journal of ours; move it away first";
    }
    if (!m_manifest.Replay(text, m_replay))
        return Quoted(journalPath) + " is not a journal of ours; move it away first";
    return std::string();
}

void CSnapshot::Replay(ManifestEntry& line, const std::map<std::string, std::string>& roots)
{
    // A claim to check against the files: a recovery cut short by the kill
    // (the file shorter than its kept bytes) is taken away and made again;
    // a whole one is recorded. Nothing else is done for any line.
    std::string plain;
    if ((line.action != "recovering" && line.action != "recover") || !PlainFullPath(line.original, plain) ||
        plain != line.original || KindOfName(plain).empty() || line.place != ContentPlace(line.digest) ||
        line.place.empty()) {
        Named("ignored a journal line (not a recovery of ours)", line.original);
        return;
    }
    std::string kept, now;
    if (m_mover.ReadBelow(m_folder, m_folder + "\\" + line.place, kLargestShortcut, kept) != Mover::Read::Done ||
        !scan::SameDigest(kept, line.digest))
        return;
    // Reached from its place in the list, as the recovery wrote it.
    const auto root = roots.find(Key(line.original));
    if (root == roots.end() || m_mover.ReadBelow(root->second, line.original, kLargestShortcut, now) != Mover::Read::Done)
        return;
    if (now.size() < kept.size() && kept.compare(0, now.size(), now) == 0) {
        if (!m_dryRun)
            m_mover.RemoveIfSame(root->second, line.original, scan::Digest(now));
        return;
    }
    if (now != kept)
        return;
    line.action = "recover";
    if (!m_manifest.Has(line))
        m_manifest.Add(line);
}

int CSnapshot::Recover(const std::vector<RecoverPlace>& allowed, unsigned long maxMoves, std::string& problem)
{
    problem.clear();
    // Each place of the list must be one this machine has now (or one given):
    // a list naming any other is refused before anything is written.
    std::vector<const RecoverPlace*> placeOf(m_chosen.places.size(), nullptr);
    std::vector<std::string> fullOf(m_chosen.places.size());
    for (std::size_t i = 0; i < m_chosen.places.size(); ++i) {
        for (const RecoverPlace& place : allowed) {
            std::string full;
            if (PlainFullPath(m_mover.FullPath(place.folder), full) && Key(full) == Key(m_chosen.places[i].folder)) {
                placeOf[i] = &place;
                fullOf[i] = full;
                break;
            }
        }
    }
    for (const SnapshotItem& item : m_chosen.items)
        if (!placeOf[item.place]) {
            problem = "the snapshot of " + m_chosen.time + " names a place that is none of this machine's locations now: " +
                      Quoted(m_chosen.places[item.place].folder) + " (give it as a folder to recover into it); nothing recovered";
            return kExitSomeLeft;
        }

    // What a killed recovery left: finished where the files prove it (the
    // manifest is written back, with it, before the first file: that proves
    // the folder can be written).
    std::map<std::string, std::string> roots;
    for (const SnapshotItem& item : m_chosen.items)
        roots[Key(item.shortcut)] = fullOf[item.place];
    for (ManifestEntry& line : m_replay)
        Replay(line, roots);
    const std::string manifestPath = m_folder + "\\" + kManifestName;
    const std::string journalPath = m_folder + "\\" + kJournalName;

    std::string report;
    std::size_t left = 0, gone = 0, there = 0;
    std::vector<const SnapshotItem*> plan;
    for (const SnapshotItem& item : m_chosen.items) {
        const RecoverPlace& place = *placeOf[item.place];
        const std::string& root = fullOf[item.place];
        if (!place.unsafe.empty()) {
            Named("not recovered (its folder may not be written: " + place.unsafe + ")", item.shortcut);
            ++left;
            continue;
        }
        std::string now;
        const Mover::Read read = m_mover.ReadBelow(root, item.shortcut, kLargestShortcut, now);
        if (read == Mover::Read::Done && scan::SameDigest(now, item.digest)) {
            ++there;
            continue;
        }
        if (read != Mover::Read::Absent) {
            Named(read == Mover::Read::Link ? "not recovered (a link lies on its way: " + Quoted(m_mover.StoppedAt()) + ")"
                  : read == Mover::Read::Done ? std::string("not recovered (another file is there now; it stays as it is)")
                                              : "not recovered (" + m_mover.LastError() + ")",
                  item.shortcut);
            ++left;
            continue;
        }
        std::string why;
        if (!TargetPresent(item, why)) {
            report += "not recovered: " + why + ": " + Quoted(item.shortcut) + "\r\n";
            ++gone;
            continue;
        }
        plan.push_back(&item);
    }
    if (maxMoves && plan.size() > maxMoves) {
        problem = std::to_string(plan.size()) + " shortcuts would be recovered, more than --max-moves " +
                  std::to_string(maxMoves) + ": none recovered";
        return kExitSomeLeft;
    }
    if (!m_dryRun && (!m_mover.ReplaceFile(manifestPath, m_manifest.Text()) || !m_mover.Remove(journalPath))) {
        problem = "cannot write in the snapshot folder " + Quoted(m_folder) + ": " + m_mover.LastError();
        return kExitSomeLeft;
    }

    std::size_t recovered = 0;
    for (const SnapshotItem* item : plan) {
        const std::string& root = fullOf[item->place];
        if (m_dryRun) {
            report += "would recover: " + Quoted(item->shortcut) + "\r\n";
            ++recovered;
            continue;
        }
        // The bytes go back only as the list names them.
        std::string bytes;
        const std::string kept = m_folder + "\\" + ContentPlace(item->digest);
        if (m_mover.ReadBelow(m_folder, kept, kLargestShortcut, bytes) != Mover::Read::Done ||
            !scan::SameDigest(bytes, item->digest)) {
            Named("not recovered (its kept bytes are missing or not the ones listed: " + Quoted(kept) + ")",
                  item->shortcut);
            ++left;
            continue;
        }
        ManifestEntry entry;
        entry.action = "recovering";
        entry.original = item->shortcut;
        entry.place = ContentPlace(item->digest);
        entry.target = item->target;
        entry.reason = item->reason;
        entry.location = m_chosen.places[item->place].location;
        entry.profile = m_chosen.places[item->place].profile;
        entry.time = m_mover.UtcTime();
        entry.computer = m_computer;
        entry.version = VELTMOR_VERSION;
        entry.digest = item->digest;
        if (!m_mover.Append(journalPath, CManifest::JournalLine(entry))) {
            Named("not recovered (cannot write the journal: " + m_mover.LastError() + ")", item->shortcut);
            ++left;
            break;  // nothing written unrecorded
        }
        // A new file made in its folder's own handle, the folders on the way
        // made there, none through a link; never over a file.
        const Mover::Moved written = m_mover.WriteNew(root, item->shortcut, bytes, Mover::Flush::Batch);
        MoveEvent event;
        event.action = "recover";
        event.path = item->shortcut;
        event.target = item->target;
        event.location = entry.location;
        event.profile = entry.profile;
        if (written == Mover::Moved::Yes) {
            entry.action = "recover";
            m_mover.Append(journalPath, CManifest::JournalLine(entry));
            m_manifest.Add(entry);
            report += "recovered: " + Quoted(item->shortcut) + "\r\n";
            event.done = true;
            ++recovered;
        } else {
            event.why = written == Mover::Moved::Taken ? "another file is there now"
                        : written == Mover::Moved::Link ? "a link lies on its way: " + Quoted(m_mover.StoppedAt())
                                                        : m_mover.LastError();
            Named("not recovered (" + event.why + ")", item->shortcut);
            ++left;
        }
        m_events.push_back(event);
    }
    // The files written go on the disk, flushed a batch at a time.
    if (!m_dryRun && !m_mover.Settle()) {
        Named("some recovered files could not be flushed (" + m_mover.LastError() + ")", m_folder);
        ++left;
    }
    report += std::to_string(recovered) + (m_dryRun ? " would be recovered" : " recovered") + " from the snapshot of " +
              m_chosen.time + ", " + std::to_string(gone) + " not (target gone), " + std::to_string(there) +
              " in place, " + std::to_string(left) + " left\r\n";
    m_host.WriteOutput(report, ScanHost::Encoding::CodePage);
    if (!m_dryRun && recovered > 0) {
        if (!m_mover.ReplaceFile(manifestPath, m_manifest.Text()) || !m_mover.Remove(journalPath)) {
            Named("cannot write the manifest (" + m_mover.LastError() + "); the journal still records every file",
                  manifestPath);
            return kExitSomeLeft;
        }
    }
    return left == 0 ? kExitAllMoved : kExitSomeLeft;
}

}  // namespace cli
