#include "Quarantine.h"

#include <algorithm>

#include "QuarantineLayout.h"
#include "scan/PathText.h"

namespace cli {

namespace {

const char kProgram[] = "veltmor-scan: ";
const char kManifestName[] = "manifest.json";

std::string Quoted(const std::string& path)
{
    return "\"" + path + "\"";
}

bool IsShortcutName(const std::string& path)
{
    if (path.size() < 4)
        return false;
    const std::string end = scan::AsciiLower(path.substr(path.size() - 4));
    return end == ".lnk" || end == ".pif";
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
        items.push_back({row.shortcut, row.target, row.ReasonName(), row.location, row.profile});
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

    m_folder = full;
    m_manifestPath = full + "\\" + kManifestName;
    m_computer = m_mover.ComputerName();
    const std::string manifestShown = Quoted(m_manifestPath);
    std::string text;
    switch (m_mover.ReadFile(m_manifestPath, text)) {
    case Mover::Read::Absent:
        break;
    case Mover::Read::Failed:
        return "cannot read " + manifestShown + ": " + m_mover.LastError();
    case Mover::Read::Done:
        if (!m_manifest.Load(text))
            return manifestShown + " is not a quarantine manifest; move it away first";
        break;
    }
    if (dryRun)
        return std::string();
    if (!exists && !m_mover.MakeFolders(full))
        return "cannot create the quarantine folder " + shown + ": " + m_mover.LastError();
    if (!m_mover.ReplaceFile(m_manifestPath, m_manifest.Text()))
        return "cannot write in the quarantine folder " + shown + ": " + m_mover.LastError();
    m_madeFolders.insert(full);
    return std::string();
}

int CQuarantine::Quarantine(const std::vector<QuarantineItem>& items)
{
    std::size_t moved = 0, left = 0;
    std::set<std::string> seen;  // a folder given twice lists its rows twice
    for (const QuarantineItem& item : items) {
        if (item.reason != "missing")
            continue;
        const std::string& shortcut = item.shortcut;
        // Such a name is what the folder search gives for one the code page
        // cannot spell: it names no real file, or the wrong one.
        if (scan::HasWildcard(shortcut.c_str())) {
            Left("name outside the code page", shortcut);
            ++left;
            continue;
        }
        std::string original;
        if (!PlainFullPath(m_mover.FullPath(shortcut), original)) {
            Left("cannot make its full path", shortcut);
            ++left;
            continue;
        }
        if (!seen.insert(original).second)
            continue;
        if (IsWithin(original, m_folder)) {
            Left("already inside the quarantine folder", shortcut);
            ++left;
            continue;
        }
        // The target may have come back since the scan (a drive mounted, a
        // program reinstalled): then the shortcut works again. Only a target
        // the system says again is not there lets it move.
        const bool pif = scan::EndsWithText(shortcut.c_str(), ".pif", m_fileSystem);
        scan::ShortcutTarget target;
        target.text = item.target;
        const scan::Presence now =
            pif ? m_fileSystem.PifTargetPresence(target) : m_fileSystem.LinkTargetPresence(target);
        if (!now.ProvenMissing()) {
            m_host.WriteError(kProgram +
                              std::string(now.verdict == scan::Verdict::Present
                                              ? "not moved, its target is back: "
                                              : "not moved, its target can no longer be tested (" + now.detail +
                                                    "): ") +
                              Quoted(shortcut));
            continue;
        }
        std::string place;
        if (!QuarantinePlace(original, place)) {
            Left("no place for it in the quarantine folder", shortcut);
            ++left;
            continue;
        }
        const std::string destination = m_folder + "\\" + place;
        if (m_dryRun) {
            if (m_mover.Exists(destination)) {
                Left("its place in the quarantine folder is taken", shortcut);
                ++left;
            } else {
                m_host.WriteError(kProgram + std::string("would move: ") + Quoted(shortcut));
                ++moved;
            }
            continue;
        }
        if (!MakeParent(destination)) {
            Left(("cannot make its folder in quarantine: " + m_mover.LastError()).c_str(), shortcut);
            ++left;
            continue;
        }
        switch (m_mover.Move(original, destination)) {
        case Mover::Moved::Yes: {
            ManifestEntry entry = Entry("quarantine", original, place);
            entry.target = item.target;
            entry.reason = item.reason;
            entry.location = item.location;
            entry.profile = item.profile;
            m_manifest.Add(std::move(entry));
            ++moved;
            break;
        }
        case Mover::Moved::Taken:
            Left("its place in the quarantine folder is taken", shortcut);
            ++left;
            break;
        case Mover::Moved::Failed:
            Left(m_mover.LastError().c_str(), shortcut);
            ++left;
            break;
        }
    }

    const std::string folderShown = Quoted(m_folder);
    m_host.WriteError(kProgram + Count(moved, m_dryRun ? "would move to " : "moved to ") + folderShown +
                      ", " + Count(left, "left in place"));
    if (moved > 0 && !m_dryRun && !SaveManifest())
        return kExitSomeLeft;
    return left == 0 ? kExitAllMoved : kExitSomeLeft;
}

int CQuarantine::Restore()
{
    std::vector<std::string> files, skipped;
    m_mover.ListFiles(m_folder, files, skipped);
    std::size_t restored = 0, left = skipped.size();
    for (const std::string& folder : skipped)
        Left("cannot read this folder", m_folder + "\\" + folder);

    std::string report;
    for (const std::string& place : files) {
        // The manifest and its temporary file sit at the top, beside the
        // drive folders; nothing else of ours does.
        if (place.find('\\') == std::string::npos)
            continue;
        const std::string inQuarantine = m_folder + "\\" + place;
        std::string original;
        if (!OriginalPath(place, original)) {
            Left("not a quarantined path", inQuarantine);
            ++left;
            continue;
        }
        // Only shortcuts are ever quarantined. Anything else was put here by
        // someone else, and a restore run by an administrator must not carry
        // it to whatever path its folders spell.
        if (!IsShortcutName(place)) {
            Left("not a shortcut", inQuarantine);
            ++left;
            continue;
        }
        const std::string originalShown = Quoted(original);
        if (m_dryRun) {
            if (m_mover.Exists(original)) {
                Left("its original place is taken", inQuarantine);
                ++left;
            } else {
                report += "would restore: " + originalShown + "\r\n";
                ++restored;
            }
            continue;
        }
        if (!MakeParent(original)) {
            Left(("cannot make its original folder: " + m_mover.LastError()).c_str(),
                 inQuarantine);
            ++left;
            continue;
        }
        switch (m_mover.Move(inQuarantine, original)) {
        case Mover::Moved::Yes:
            m_manifest.Add(Entry("restore", original, place));
            report += "restored: " + originalShown + "\r\n";
            ++restored;
            break;
        case Mover::Moved::Taken:
            Left("its original place is taken", inQuarantine);
            ++left;
            break;
        case Mover::Moved::Failed:
            Left(m_mover.LastError().c_str(), inQuarantine);
            ++left;
            break;
        }
    }
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

bool CQuarantine::MakeParent(const std::string& path)
{
    const std::string parent = ParentOf(path);
    if (parent.empty())
        return false;
    if (m_madeFolders.count(parent))
        return true;
    if (!m_mover.MakeFolders(parent))
        return false;
    m_madeFolders.insert(parent);
    return true;
}

void CQuarantine::Left(const char* what, const std::string& path)
{
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

bool CQuarantine::SaveManifest()
{
    if (m_mover.ReplaceFile(m_manifestPath, m_manifest.Text()))
        return true;
    m_host.WriteError(kProgram + std::string("cannot write ") + Quoted(m_manifestPath) +
                      ": " + m_mover.LastError() + "; the folder layout still records every file moved");
    return false;
}

}  // namespace cli
