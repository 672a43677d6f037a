#include "Quarantine.h"

#include <algorithm>

#include "QuarantineLayout.h"
#include "scan/LinkStructure.h"
#include "scan/PathText.h"

namespace cli {

namespace {

const char kProgram[] = "veltmor-scan: ";
const char kManifestName[] = "manifest.json";
const char kJournalName[] = "journal.jsonl";
const char kLockName[] = "quarantine.lock";
// Far beyond any shortcut; a file larger is not one of ours.
constexpr std::size_t kLargestShortcut = std::size_t{64} << 20;

std::string Quoted(const std::string& path)
{
    return "\"" + path + "\"";
}

bool IsShortcutName(const std::string& path)
{
    if (path.size() < 5)
        return false;
    const std::string end = scan::AsciiLower(path.substr(path.size() - 4));
    return end == ".lnk" || end == ".pif" || end == ".url" ||
           (path.size() > 10 && scan::AsciiLower(path.substr(path.size() - 10)) == ".appref-ms");
}

// "C:\\" or "\\\\server\\share" of a plain full path.
std::string RootOf(const std::string& path)
{
    if (path.size() >= 3 && path[1] == ':')
        return path.substr(0, 3);
    const std::size_t server = path.find('\\', 2);
    const std::size_t share = server == std::string::npos ? server : path.find('\\', server + 1);
    return share == std::string::npos ? path : path.substr(0, share);
}

std::string Count(std::size_t n, const char* what)
{
    return std::to_string(n) + " " + what;
}

}  // namespace

std::vector<QuarantineItem> QuarantineItems(const std::vector<ScanRow>& rows)
{
    std::vector<QuarantineItem> items;
    items.reserve(rows.size());
    for (const ScanRow& row : rows)
        items.push_back({row.shortcut, row.target, row.ReasonName(), row.location, row.profile, row.root, row.unsafe,
                         row.digest, row.otherProfile, row.driveType, row.candidate, row.grade, row.equallyGood, std::string(),
                         row.DriveLetterGone()});
    return items;
}

CQuarantine::CQuarantine(Mover& mover, scan::ScanFileSystem& fileSystem, ScanHost& host)
    : m_mover(mover), m_fileSystem(fileSystem), m_host(host)
{
}

std::string CQuarantine::Open(const std::string& folder, Purpose purpose, bool dryRun)
{
    m_dryRun = dryRun;
    m_purpose = purpose;
    const std::string shown = Quoted(folder);
    std::string full;
    if (folder.empty() || !PlainFullPath(m_mover.FullPath(folder), full))
        return "not a usable quarantine folder: " + shown;
    // A restore takes back every drive-letter folder below it.
    if (ParentOf(full).empty())
        return "a drive's or a share's root cannot be the quarantine folder: " + shown;
    const bool exists = m_mover.Exists(full);
    if (exists && !m_mover.IsFolder(full))
        return "not a folder: " + shown;
    if (!exists && purpose == Purpose::Restore)
        return "no such folder: " + shown;
    if (exists && !m_mover.LinkBelow(ParentOf(full), full).empty())
        return "the quarantine folder is a link to elsewhere: " + shown;

    m_folder = full;
    m_manifestPath = full + "\\" + kManifestName;
    m_journalPath = full + "\\" + kJournalName;
    m_computer = m_mover.ComputerName();
    if (dryRun)
        return ReadRecords();

    // Folders made for a folder that then cannot be used are taken away.
    std::vector<std::string> made;
    for (std::string at = full; !at.empty() && !m_mover.Exists(at); at = ParentOf(at))
        made.push_back(at);
    const auto undo = [&](const std::string& problem) {
        for (const std::string& folder : made)
            m_mover.RemoveFolder(folder);
        return problem;
    };
    if (!exists && !m_mover.MakeFolders(full))
        return undo("cannot create the quarantine folder " + shown + ": " + m_mover.LastError());
    // One run at a time: a second would interleave its moves and records.
    if (!m_mover.Lock(full + "\\" + kLockName))
        return undo("another veltmor-scan is using the quarantine folder " + shown +
                    ", or it cannot be locked: " + m_mover.LastError());
    const std::string problem = ReadRecords();
    if (!problem.empty())
        return problem;
    // Written back before anything moves: proves the folder can be written,
    // and folds in what a killed run left in the journal.
    if (!m_mover.ReplaceFile(m_manifestPath, m_manifest.Text()))
        return undo("cannot write in the quarantine folder " + shown + ": " + m_mover.LastError());
    if (!m_mover.Remove(m_journalPath))
        return "cannot remove " + Quoted(m_journalPath) + ": " + m_mover.LastError();
    RemoveLeftovers();
    return std::string();
}

std::string CQuarantine::ReadRecords()
{
    const std::string manifestShown = Quoted(m_manifestPath);
    std::string text;
    // Each is refused by its size before a byte of it is read.
    switch (m_mover.ReadBelow(m_folder, m_manifestPath, kLargestManifest, text)) {
    case Mover::Read::Absent:
        break;
    case Mover::Read::TooLarge:
        return manifestShown + " is larger than a quarantine manifest can be; move it away first";
    case Mover::Read::Link:
        return manifestShown + " is a link; move it away first";
    case Mover::Read::Failed:
        return "cannot read " + manifestShown + ": " + m_mover.LastError();
    case Mover::Read::Done:
        if (!m_manifest.Load(text))
            return manifestShown + " is not a quarantine manifest; move it away first";
        break;
    }
    const std::string journalShown = Quoted(m_journalPath);
    switch (m_mover.ReadBelow(m_folder, m_journalPath, kLargestJournal, text)) {
    case Mover::Read::Absent:
        return std::string();
    case Mover::Read::TooLarge:
        return journalShown + " is larger than a quarantine journal can be; move it away first";
    case Mover::Read::Link:
        return journalShown + " is a link; move it away first";
    case Mover::Read::Failed:
        return "cannot read " + journalShown + ": " + m_mover.LastError();
    case Mover::Read::Done:
        break;
    }
    std::vector<ManifestEntry> lines;
    if (!m_manifest.Replay(text, lines))
        return journalShown + " is not a quarantine journal; move it away first";
    for (ManifestEntry& line : lines)
        Replay(line);
    return std::string();
}

void CQuarantine::Replay(ManifestEntry& line)
{
    // A line is a claim, not an order: it may only finish what this program
    // began, as the layout and the files show it now. Anything else is
    // named and left alone.
    std::string place;
    const std::string inQuarantine = m_folder + "\\" + line.place;
    if (line.original.empty() || !QuarantinePlace(line.original, place) || place != line.place ||
        !IsShortcutName(line.original)) {
        Ignored("its paths do not match", line);
        return;
    }
    std::string kept, original;
    const Mover::Read keptRead = m_mover.ReadBelow(m_folder, inQuarantine, kLargestShortcut, kept);
    const bool keptHere = keptRead == Mover::Read::Done && !line.digest.empty() && scan::SameDigest(kept, line.digest);
    const Mover::Read originalRead = m_mover.ReadBelow(RootOf(line.original), line.original, kLargestShortcut, original);
    const bool atOriginal = originalRead == Mover::Read::Done;

    std::string done;  // the action the files prove finished
    if (line.action == "moving" || line.action == "quarantine") {
        if (keptHere && !atOriginal)
            done = "quarantine";
        else if (!keptHere && keptRead != Mover::Read::Absent)
            Ignored("the quarantine folder holds other bytes at its place", line);
        else if (!keptHere && line.action == "quarantine")
            Ignored("no copy of it in the quarantine folder", line);
    } else if (line.action == "restoring" || line.action == "restore") {
        // A copy cut short by the kill is taken away and made again; a whole
        // one finishes the restore.
        if (keptHere && atOriginal && original.size() < kept.size() && kept.compare(0, original.size(), original) == 0) {
            if (!m_dryRun)
                m_mover.RemoveIfSame(RootOf(line.original), line.original, scan::Digest(original));
        } else if (keptHere && atOriginal && original == kept) {
            if (!m_dryRun && m_mover.RemoveIfSame(m_folder, inQuarantine, line.digest) == Mover::Moved::Yes)
                done = "restore";
        } else if (atOriginal && keptRead == Mover::Read::Absent) {
            done = "restore";
        }
    } else if (line.action == "repairing" || line.action == "repair") {
        // A repair's bytes were kept before the shortcut changed: only a kept
        // copy in the layout makes it a repair of ours.
        if (!keptHere) {
            if (line.action == "repair" || keptRead != Mover::Read::Absent)
                Ignored("no kept copy of it in the quarantine folder", line);
        } else if (atOriginal && !line.repairedDigest.empty() && scan::SameDigest(original, line.repairedDigest)) {
            done = "repair";
        } else if (atOriginal && scan::SameDigest(original, line.digest) && !m_dryRun) {
            // Never changed: its kept copy goes again.
            m_mover.RemoveIfSame(m_folder, inQuarantine, line.digest);
        }
    } else {
        Ignored("not an action of ours", line);
    }
    if (done.empty())
        return;
    line.action = done;
    if (!m_manifest.Has(line))
        m_manifest.Add(line);
}

bool CQuarantine::Settled()
{
    if (m_mover.Settle())
        return true;
    m_host.WriteError(kProgram + std::string("some files were copied but their originals could not be removed (") +
                      m_mover.LastError() + "); both stay, and the next run names them");
    return false;
}

void CQuarantine::Ignored(const char* why, const ManifestEntry& line)
{
    m_host.WriteError(kProgram + std::string("ignored a journal line (") + why + "): " + Quoted(line.original));
}

void CQuarantine::RemoveLeftovers()
{
    // A run killed while writing a file leaves its temporary copy; only
    // our own names, only inside the folder, never through a link.
    std::vector<std::string> files, skipped;
    m_mover.ListFiles(m_folder, files, skipped);
    for (const std::string& file : files)
        if (IsTemporaryName(file))
            m_mover.RemoveIfSame(m_folder, m_folder + "\\" + file, std::string());
}

int CQuarantine::Quarantine(const std::vector<QuarantineItem>& items)
{
    m_action = "quarantine";
    std::size_t moved = 0, left = 0;
    std::set<std::string> seen;  // a folder given twice lists its rows twice
    for (const QuarantineItem& item : items) {
        if (item.reason != "missing" && item.reason != "installer-orphaned")
            continue;
        const std::string& shortcut = item.shortcut;
        std::string original, place, root;
        const Check check = Checked(item, seen, "not moved", original, place, root);
        if (check != Check::Go) {
            left += check == Check::Left ? 1 : 0;
            continue;
        }
        const std::string destination = m_folder + "\\" + place;
        if (m_dryRun) {
            if (m_mover.Exists(destination)) {
                Leave("its place in the quarantine folder is taken", shortcut, left);
            } else {
                m_host.WriteError(kProgram + std::string("would move: ") + Quoted(shortcut));
                ++moved;
            }
            continue;
        }
        // The file moved must be the file scanned: its bytes give the
        // digest the scan noted, read through the handle that moves it.
        const std::string digest = ScannedDigest(item, root, original);
        if (digest.empty()) {
            ++left;
            continue;
        }
        ManifestEntry entry = Entry("moving", original, place);
        entry.target = item.target;
        entry.reason = item.reason;
        entry.location = item.location;
        entry.profile = item.profile;
        entry.digest = digest;
        if (!Record(entry)) {
            Leave(("cannot write the journal: " + m_mover.LastError()), shortcut, left);
            break;  // no move goes unrecorded
        }
        const Mover::Moved result =
            m_mover.Move(root, original, m_folder, destination, digest, Mover::Transfer::Rename);
        if (result == Mover::Moved::Yes) {
            entry.action = "quarantine";
            Record(entry);
            Done(entry);
            m_manifest.Add(std::move(entry));
            ++moved;
        } else {
            Leave(Why(result, "its place in the quarantine folder is taken"), shortcut, left);
        }
    }

    left += Settled() ? 0 : 1;
    const std::string folderShown = Quoted(m_folder);
    m_host.WriteError(kProgram + Count(moved, m_dryRun ? "would move to " : "moved to ") + folderShown +
                      ", " + Count(left, "left in place"));
    if (moved > 0 && !m_dryRun && !SaveManifest())
        return kExitSomeLeft;
    return left == 0 ? kExitAllMoved : kExitSomeLeft;
}

std::string CQuarantine::Why(Mover::Moved result, const char* taken)
{
    switch (result) {
    case Mover::Moved::Changed:
        return "it changed since the scan";
    case Mover::Moved::Taken:
        return taken;
    case Mover::Moved::Link:
        return "a link lies on its way: " + Quoted(m_mover.StoppedAt());
    case Mover::Moved::Yes:
    case Mover::Moved::Failed:
        break;
    }
    return m_mover.LastError();
}

CQuarantine::Check CQuarantine::Checked(const QuarantineItem& item, std::set<std::string>& seen, const char* verb,
                                        std::string& original, std::string& place, std::string& root)
{
    const std::string& shortcut = item.shortcut;
    if (!item.unsafe.empty()) {
        Left(("its folder may not be cleaned: " + item.unsafe).c_str(), shortcut);
        return Check::Left;
    }
    // Such a name is what the folder search gives for one the code page
    // cannot spell: it names no real file, or the wrong one.
    if (scan::HasWildcard(shortcut.c_str())) {
        Left("name outside the code page", shortcut);
        return Check::Left;
    }
    if (!PlainFullPath(m_mover.FullPath(shortcut), original)) {
        Left("cannot make its full path", shortcut);
        return Check::Left;
    }
    // The scanned folder it was found below: every folder from there down
    // is opened by handle, and a link anywhere on the way stops the move.
    if (item.root.empty() || !PlainFullPath(m_mover.FullPath(item.root), root) || !IsWithin(original, root)) {
        Left("not below the folder it was scanned in", shortcut);
        return Check::Left;
    }
    if (!seen.insert(original).second)
        return Check::Skip;
    if (IsWithin(original, m_folder)) {
        Left("already inside the quarantine folder", shortcut);
        return Check::Left;
    }
    // The target may have come back since the scan (a drive mounted, a
    // program reinstalled): then the shortcut works again. Only a target
    // the system says again is not there lets it move.
    const bool pif = scan::EndsWithText(shortcut.c_str(), ".pif", m_fileSystem);
    scan::ShortcutTarget target;
    target.text = item.target;
    // A shortcut judged without a target path (an installer's answer, a
    // deployment's registration) is judged again.
    if (item.target.empty()) {
        m_host.ReadTargetsFor(item.otherProfile.get());  // that user's installs, not the caller's
        m_fileSystem.ResolveShortcut(shortcut, target);
        m_host.ReadTargetsFor(nullptr);
    }
    const scan::Presence now = target.judged ? target.judgement
                               : pif         ? m_fileSystem.PifTargetPresence(target)
                                             : m_fileSystem.LinkTargetPresence(target);
    if (!now.ProvenMissing()) {
        m_host.WriteError(std::string(kProgram) + verb +
                          std::string(now.verdict == scan::Verdict::Present
                                                 ? ", its target is back: "
                                                 : ", its target can no longer be tested (" + now.detail + "): ") +
                          Quoted(shortcut));
        return Check::Skip;
    }
    if (!QuarantinePlace(original, place)) {
        Left("no place for it in the quarantine folder", shortcut);
        return Check::Left;
    }
    return Check::Go;
}

std::string CQuarantine::ScannedDigest(const QuarantineItem& item, const std::string& root, const std::string& original)
{
    // Where the scan noted no digest, the target is read through the shell
    // again and the digest taken now.
    if (!item.digest.empty())
        return item.digest;
    std::string bytes;
    scan::ShortcutTarget again;
    if (m_mover.ReadBelow(root, original, kLargestShortcut, bytes) == Mover::Read::Done) {
        m_host.ReadTargetsFor(item.otherProfile.get());
        m_fileSystem.ResolveShortcut(item.shortcut, again);
        m_host.ReadTargetsFor(nullptr);
    }
    if (again.text != item.target) {
        Left("it changed since the scan", item.shortcut);
        return std::string();
    }
    return scan::Digest(bytes);
}

namespace {

// What old and new have in common at their ends, whole names: "C:\\Program
// Files\\App 4.1\\bin\\app.exe" and "...\\App 4.2\\bin\\app.exe" give the folders
// "...\\App 4.1" and "...\\App 4.2", which the working folder and icon follow.
void MovedFolders(const std::string& old, const std::string& now, std::string& from, std::string& to)
{
    std::size_t a = old.size(), b = now.size();
    while (a > 0 && b > 0) {
        const std::size_t slashA = old.rfind('\\', a - 1), slashB = now.rfind('\\', b - 1);
        if (slashA == std::string::npos || slashB == std::string::npos ||
            scan::AsciiLower(old.substr(slashA, a - slashA)) != scan::AsciiLower(now.substr(slashB, b - slashB)))
            break;
        a = slashA;
        b = slashB;
    }
    from = old.substr(0, a);
    to = now.substr(0, b);
}

}  // namespace

int CQuarantine::Repair(const std::vector<QuarantineItem>& items, Retargeter& retargeter, Grade least)
{
    m_action = "repair";
    std::size_t repaired = 0, left = 0;
    std::set<std::string> seen;
    for (const QuarantineItem& item : items) {
        // A target on a fixed drive proven missing, or on a drive letter
        // that no longer exists; never one on a disk or share that may only
        // be away now.
        const bool driveGone = item.driveLetterGone;
        if ((item.reason != "missing" && !driveGone) || item.candidate.empty() || item.grade < least)
            continue;
        const std::string& shortcut = item.shortcut;
        if (item.equallyGood > 0) {
            m_host.WriteError(kProgram + std::string("not repaired, ") + std::to_string(item.equallyGood + 1) +
                              " candidates are as good: " + Quoted(shortcut));
            continue;
        }
        std::string original, place, root;
        const Check check = Checked(item, seen, "not repaired", original, place, root);
        if (check != Check::Go) {
            left += check == Check::Left ? 1 : 0;
            continue;
        }
        if (!m_mover.Exists(item.candidate) || m_mover.IsFolder(item.candidate)) {
            Leave("its new target is gone", shortcut, left);
            continue;
        }
        // Whoever may write the new target, or a link on its way, would
        // decide what the shortcut runs.
        std::string unsafe = item.candidateUnsafe;
        const std::string link = unsafe.empty() ? m_mover.LinkBelow(RootOf(item.candidate), item.candidate)
                                                : std::string();
        if (!link.empty())
            unsafe = "a link lies on its new target's way: " + Quoted(link);
        if (!unsafe.empty()) {
            Leave(unsafe, shortcut, left);
            continue;
        }
        const std::string destination = m_folder + "\\" + place;
        if (m_mover.Exists(destination)) {
            Leave("its place in the quarantine folder is taken", shortcut, left);
            continue;
        }
        if (m_dryRun) {
            m_host.WriteError(kProgram + std::string("would repair: ") + Quoted(shortcut) + " -> " +
                              Quoted(item.candidate));
            ++repaired;
            continue;
        }
        const std::string digest = ScannedDigest(item, root, original);
        std::string bytes;
        Mover::Read read = Mover::Read::Failed;
        if (digest.empty() ||
            (read = m_mover.ReadBelow(root, original, kLargestShortcut, bytes)) != Mover::Read::Done ||
            !scan::SameDigest(bytes, digest)) {
            if (read == Mover::Read::Link)
                Left(("a link lies on its way: " + Quoted(m_mover.StoppedAt())).c_str(), shortcut);
            else if (!digest.empty())
                Left("it changed since the scan", shortcut);
            ++left;
            continue;
        }
        std::string from, to, newBytes, problem;
        MovedFolders(item.target, item.candidate, from, to);
        if (!retargeter.Retarget(bytes, item.candidate, from, to, newBytes, problem)) {
            Leave(problem, shortcut, left);
            continue;
        }
        ManifestEntry entry = Entry("repairing", original, place);
        entry.target = item.target;
        entry.reason = item.reason;
        entry.location = item.location;
        entry.profile = item.profile;
        entry.newTarget = item.candidate;
        entry.digest = digest;
        entry.repairedDigest = scan::Digest(newBytes);
        if (!Record(entry)) {
            Leave(("cannot write the journal: " + m_mover.LastError()), shortcut, left);
            break;  // no change goes unrecorded
        }
        // The old bytes are kept before the file changes: a restore, or the
        // next run after a kill, finds them.
        const Mover::Moved keptResult = m_mover.WriteNew(m_folder, destination, bytes);
        if (keptResult != Mover::Moved::Yes) {
            Leave("cannot keep its bytes in the quarantine folder: " +
                      Why(keptResult, "its place in the quarantine folder is taken"),
                  shortcut, left);
            continue;
        }
        const Mover::Moved result = m_mover.RewriteIfSame(root, original, digest, newBytes);
        if (result == Mover::Moved::Yes) {
            entry.action = "repair";
            Record(entry);
            Done(entry);
            m_manifest.Add(std::move(entry));
            m_host.WriteError(kProgram + std::string("repaired: ") + Quoted(shortcut) + " -> " +
                              Quoted(item.candidate));
            ++repaired;
            continue;
        }
        Leave(Why(result, "it is taken"), shortcut, left);
        m_mover.RemoveIfSame(m_folder, destination, digest);
    }

    m_host.WriteError(kProgram + Count(repaired, m_dryRun ? "would be repaired, " : "repaired, ") +
                      Count(left, "left as they were") + "; the originals are kept in " + Quoted(m_folder));
    if (repaired > 0 && !m_dryRun && !SaveManifest())
        return kExitSomeLeft;
    return left == 0 ? kExitAllMoved : kExitSomeLeft;
}

bool CQuarantine::RestoreRepaired(const ManifestEntry& repair, const std::string& inQuarantine, std::string& report)
{
    std::string kept;
    if (m_mover.ReadBelow(m_folder, inQuarantine, kLargestShortcut, kept) != Mover::Read::Done ||
        !scan::SameDigest(kept, repair.digest)) {
        Left("its kept bytes are not the ones the repair kept", inQuarantine);
        return false;
    }
    ManifestEntry restoring = Entry("restoring", repair.original, repair.place);
    restoring.digest = repair.digest;
    if (!Record(restoring)) {
        Left(("cannot write the journal: " + m_mover.LastError()).c_str(), inQuarantine);
        return false;
    }
    // Every folder from the drive's root down to the repaired shortcut is
    // opened by handle: nothing is written through a link.
    const Mover::Moved result = m_mover.RewriteIfSame(RootOf(repair.original), repair.original, repair.repairedDigest, kept);
    if (result != Mover::Moved::Yes) {
        Left(result == Mover::Moved::Changed ? "the repaired shortcut changed since the repair"
                                             : Why(result, "it is taken").c_str(),
             inQuarantine);
        return false;
    }
    m_mover.RemoveIfSame(m_folder, inQuarantine, repair.digest);
    restoring.action = "restore";
    Record(restoring);
    Done(m_manifest.Add(restoring));
    report += "restored: " + Quoted(repair.original) + "\r\n";
    return true;
}

int CQuarantine::Restore()
{
    m_action = "restore";
    std::vector<std::string> files, skipped;
    m_mover.ListFiles(m_folder, files, skipped);
    std::size_t restored = 0, left = skipped.size();
    for (const std::string& folder : skipped)
        Left("cannot read this folder", m_folder + "\\" + folder);

    std::string report;
    for (const std::string& place : files) {
        // The manifest, the journal and the lock sit at the top, beside the
        // drive folders; nothing else of ours does.
        if (IsTemporaryName(place))
            continue;
        if (place.find('\\') == std::string::npos) {
            if (place != kManifestName && place != kJournalName && place != kLockName)
                Leave("not in a quarantined place", m_folder + "\\" + place, left);
            continue;
        }
        const std::string inQuarantine = m_folder + "\\" + place;
        std::string original;
        if (!OriginalPath(place, original)) {
            Leave("not a quarantined path", inQuarantine, left);
            continue;
        }
        // Only shortcuts are ever quarantined. Anything else was put here by
        // someone else, and a restore run by an administrator must not carry
        // it to whatever path its folders spell.
        if (!IsShortcutName(place)) {
            Leave("not a shortcut", inQuarantine, left);
            continue;
        }
        const std::string originalShown = Quoted(original);
        ManifestEntry repair;
        if (m_manifest.LatestRepair(original, place, repair) && m_mover.Exists(original)) {
            if (m_dryRun) {
                report += "would restore: " + originalShown + "\r\n";
                ++restored;
            } else if (RestoreRepaired(repair, inQuarantine, report)) {
                ++restored;
            } else {
                ++left;
            }
            continue;
        }
        if (m_dryRun) {
            if (m_mover.Exists(original)) {
                Leave("its original place is taken", inQuarantine, left);
            } else {
                report += "would restore: " + originalShown + "\r\n";
                ++restored;
            }
            continue;
        }
        std::string bytes;
        const Mover::Read read = m_mover.ReadBelow(m_folder, inQuarantine, kLargestShortcut, bytes);
        if (read != Mover::Read::Done) {
            Leave(read == Mover::Read::Link ? "a link lies on its way: " + Quoted(m_mover.StoppedAt())
                  : read == Mover::Read::TooLarge ? std::string("larger than a shortcut can be")
                                                  : m_mover.LastError(),
                  inQuarantine, left);
            continue;
        }
        ManifestEntry entry = Entry("restoring", original, place);
        entry.digest = scan::Digest(bytes);
        if (!Record(entry)) {
            Leave(("cannot write the journal: " + m_mover.LastError()), inQuarantine, left);
            break;
        }
        // Out of the quarantine folder by handle, and into the original
        // folder as a new file made in the folder's own handle: a folder
        // swapped for a link can steer neither.
        const Mover::Moved result =
            m_mover.Move(m_folder, inQuarantine, RootOf(original), original, entry.digest, Mover::Transfer::Copy);
        if (result == Mover::Moved::Yes) {
            entry.action = "restore";
            Record(entry);
            Done(m_manifest.Add(entry));
            report += "restored: " + originalShown + "\r\n";
            ++restored;
        } else {
            Leave(Why(result, "its original place is taken"), inQuarantine, left);
        }
    }
    left += Settled() ? 0 : 1;
    report += Count(restored, m_dryRun ? "would be restored, " : "restored, ") +
              Count(left, "left in quarantine") + "\r\n";
    m_host.WriteOutput(report, ScanHost::Encoding::CodePage);
    if (m_dryRun)
        return left == 0 ? kExitAllMoved : kExitSomeLeft;
    m_mover.RemoveEmptyFolders(m_folder);
    if (restored > 0 && !SaveManifest())
        return kExitSomeLeft;
    return left == 0 ? kExitAllMoved : kExitSomeLeft;
}

void CQuarantine::Leave(const std::string& what, const std::string& path, std::size_t& left)
{
    Left(what.c_str(), path);
    ++left;
}

void CQuarantine::Done(const ManifestEntry& entry)
{
    MoveEvent event;
    event.action = m_action;
    event.done = true;
    event.path = entry.original;
    event.target = entry.target;
    event.newTarget = entry.newTarget;
    event.location = entry.location;
    event.profile = entry.profile;
    m_events.push_back(event);
}

void CQuarantine::Left(const char* what, const std::string& path)
{
    if (!m_dryRun) {
        MoveEvent event;
        event.action = m_action;
        event.path = path;
        event.why = what;
        m_events.push_back(event);
    }
    const char* where = m_purpose == Purpose::Restore ? "in quarantine" : "in place";
    m_host.WriteError(kProgram + std::string(m_dryRun ? "would stay " : "left ") + where + " (" + what +
                      "): " + Quoted(path));
}

ManifestEntry CQuarantine::Entry(const char* action, const std::string& original, const std::string& place)
{
    ManifestEntry entry;
    entry.action = action;
    entry.original = original;
    entry.place = place;
    entry.time = m_mover.UtcTime();
    entry.computer = m_computer;
    entry.version = VELTMOR_VERSION;
    return entry;
}

bool CQuarantine::Record(const ManifestEntry& entry)
{
    return m_mover.Append(m_journalPath, CManifest::JournalLine(entry));
}

bool CQuarantine::SaveManifest()
{
    if (m_mover.ReplaceFile(m_manifestPath, m_manifest.Text()))
        return m_mover.Remove(m_journalPath);
    m_host.WriteError(kProgram + std::string("cannot write ") + Quoted(m_manifestPath) +
                      ": " + m_mover.LastError() + "; the folder layout still records every file moved");
    return false;
}

}  // namespace cli
