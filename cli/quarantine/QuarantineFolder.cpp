// The quarantine folder itself: opened and locked, its journal replayed,
// its manifest read and written, a killed run's leftovers removed.
#include "Quarantine.h"

#include <algorithm>

#include "QuarantineLayout.h"
#include "QuarantineNames.h"
#include "scan/LinkStructure.h"
#include "scan/PathText.h"

namespace cli {

using namespace quarantine;

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

ManifestEntry CQuarantine::Stamped(const char* action, ManifestEntry entry)
{
    entry.action = action;
    entry.time = m_mover.UtcTime();
    entry.computer = m_computer;
    entry.version = VELTMOR_VERSION;
    return entry;
}

ManifestEntry CQuarantine::Entry(const char* action, const std::string& original, const std::string& place)
{
    ManifestEntry entry;
    entry.original = original;
    entry.place = place;
    return Stamped(action, std::move(entry));
}

ManifestEntry CQuarantine::Entry(const char* action, const ScanRow& row, const std::string& original,
                                 const std::string& place, const std::string& digest)
{
    return Stamped(action, RowEntry(row, original, place, digest));
}

ManifestEntry RowEntry(const ScanRow& row, const std::string& original, const std::string& place,
                       const std::string& digest)
{
    ManifestEntry entry;
    entry.original = original;
    entry.place = place;
    entry.target = row.target;
    entry.reason = row.ReasonName();
    entry.location = row.location;
    entry.profile = row.profile;
    entry.digest = digest;
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
