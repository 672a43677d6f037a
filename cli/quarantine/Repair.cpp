// --repair: shortcuts rewritten to a moved target, their old bytes kept.
#include "Quarantine.h"

#include <algorithm>

#include "QuarantineLayout.h"
#include "QuarantineNames.h"
#include "scan/LinkStructure.h"
#include "scan/PathText.h"

namespace cli {

using namespace quarantine;

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

int CQuarantine::Repair(const std::vector<ScanRow>& rows, Retargeter& retargeter, Grade least)
{
    m_action = "repair";
    std::size_t repaired = 0, left = 0;
    std::set<std::string> seen;
    for (const ScanRow& row : rows) {
        // A target on a fixed drive proven missing, or on a drive letter
        // that no longer exists; never one on a disk or share that may only
        // be away now.
        if ((row.Reason() != MissingReason::Missing && !row.DriveLetterGone()) || row.candidate.empty() ||
            row.grade < least)
            continue;
        const std::string& shortcut = row.shortcut;
        if (row.equallyGood > 0) {
            m_host.WriteError(kProgram + std::string("not repaired, ") + std::to_string(row.equallyGood + 1) +
                              " candidates are as good: " + Quoted(shortcut));
            continue;
        }
        std::string original, place, root;
        const Check check = Checked(row, seen, "not repaired", original, place, root);
        if (check != Check::Go) {
            left += check == Check::Left ? 1 : 0;
            continue;
        }
        if (!m_mover.Exists(row.candidate) || m_mover.IsFolder(row.candidate)) {
            Leave("its new target is gone", shortcut, left);
            continue;
        }
        // Whoever may write the new target, or a link on its way, would
        // decide what the shortcut runs.
        std::string unsafe = row.candidateUnsafe;
        const std::string link = unsafe.empty() ? m_mover.LinkBelow(RootOf(row.candidate), row.candidate)
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
                              Quoted(row.candidate));
            ++repaired;
            continue;
        }
        // The new bytes are made from the ones the scan checked; the file is
        // read again only by the rewrite, on the handle that rewrites it, and
        // only while it still holds them.
        const std::string digest = ScannedDigest(row, root, original);
        std::string bytes = row.bytes;
        Mover::Read read = Mover::Read::Failed;
        if (digest.empty() ||
            (bytes.empty() &&
             (read = m_mover.ReadBelow(root, original, kLargestShortcut, bytes)) != Mover::Read::Done) ||
            !scan::SameDigest(bytes, digest)) {
            if (read == Mover::Read::Link)
                Left(("a link lies on its way: " + Quoted(m_mover.StoppedAt())).c_str(), shortcut);
            else if (!digest.empty())
                Left("it changed since the scan", shortcut);
            ++left;
            continue;
        }
        std::string from, to, newBytes, problem;
        MovedFolders(row.target, row.candidate, from, to);
        if (!retargeter.Retarget(bytes, row.candidate, from, to, newBytes, problem)) {
            Leave(problem, shortcut, left);
            continue;
        }
        ManifestEntry entry = Entry("repairing", row, original, place, digest);
        entry.newTarget = row.candidate;
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
                              Quoted(row.candidate));
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

}  // namespace cli
