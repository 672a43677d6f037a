#include "Quarantine.h"

#include <algorithm>

#include "QuarantineLayout.h"
#include "QuarantineNames.h"
#include "scan/LinkStructure.h"
#include "scan/PathText.h"

namespace cli {

using namespace quarantine;

CQuarantine::CQuarantine(Mover& mover, scan::ScanFileSystem& fileSystem, ScanHost& host)
    : m_mover(mover), m_fileSystem(fileSystem), m_host(host)
{
}

int CQuarantine::Quarantine(const std::vector<ScanRow>& rows)
{
    m_action = "quarantine";
    std::size_t moved = 0, left = 0;
    std::set<std::string> seen;  // a folder given twice lists its rows twice
    for (const ScanRow& row : rows) {
        const MissingReason reason = row.Reason();
        if (reason != MissingReason::Missing && reason != MissingReason::InstallerOrphaned)
            continue;
        const std::string& shortcut = row.shortcut;
        std::string original, place, root;
        const Check check = Checked(row, seen, "not moved", original, place, root);
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
        const std::string digest = ScannedDigest(row, root, original);
        if (digest.empty()) {
            ++left;
            continue;
        }
        ManifestEntry entry = Entry("moving", row, original, place, digest);
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

CQuarantine::Check CQuarantine::Checked(const ScanRow& row, std::set<std::string>& seen, const char* verb,
                                        std::string& original, std::string& place, std::string& root)
{
    const std::string& shortcut = row.shortcut;
    if (!row.unsafe.empty()) {
        Left(("its folder may not be cleaned: " + row.unsafe).c_str(), shortcut);
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
    if (row.root.empty() || !PlainFullPath(m_mover.FullPath(row.root), root) || !IsWithin(original, root)) {
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
    target.text = row.target;
    // A shortcut judged without a target path (an installer's answer, a
    // deployment's registration) is judged again.
    if (row.target.empty()) {
        m_host.ReadTargetsFor(row.otherProfile.get());  // that user's installs, not the caller's
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

std::string CQuarantine::ScannedDigest(const ScanRow& row, const std::string& root, const std::string& original)
{
    // Where the scan noted no digest, the target is read through the shell
    // again and the digest taken now.
    if (!row.digest.empty())
        return row.digest;
    std::string bytes;
    scan::ShortcutTarget again;
    if (m_mover.ReadBelow(root, original, kLargestShortcut, bytes) == Mover::Read::Done) {
        m_host.ReadTargetsFor(row.otherProfile.get());
        m_fileSystem.ResolveShortcut(row.shortcut, again);
        m_host.ReadTargetsFor(nullptr);
    }
    if (again.text != row.target) {
        Left("it changed since the scan", row.shortcut);
        return std::string();
    }
    return scan::Digest(bytes);
}

void CQuarantine::Leave(const std::string& what, const std::string& path, std::size_t& left)
{
    Left(what.c_str(), path);
    ++left;
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

}  // namespace cli
