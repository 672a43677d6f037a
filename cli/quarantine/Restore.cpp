// --restore: what the quarantine and the repair kept goes back.
#include "Quarantine.h"

#include <algorithm>

#include "QuarantineLayout.h"
#include "QuarantineNames.h"
#include "scan/LinkStructure.h"
#include "scan/PathText.h"

namespace cli {

using namespace quarantine;

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

}  // namespace cli
