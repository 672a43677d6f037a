#include "ScanCommand.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "CollectingScanView.h"
#include "EventLog.h"
#include "cli/suggest/LinkEvidence.h"
#include "cli/kinds/ShortcutText.h"
#include "cli/quarantine/Quarantine.h"
#include "cli/quarantine/QuarantineLayout.h"
#include "RowFormat.h"
#include "ScanProgress.h"
#include "scan/PathText.h"
#include "scan/ScanEngine.h"

namespace cli {

namespace {

const char kProgram[] = "veltmor-scan: ";

const char kWow64[] =
    "this is the 32-bit veltmor-scan on 64-bit Windows: Windows shows it System32 as SysWOW64 and "
    "%ProgramFiles% as Program Files (x86), so it can call working shortcuts broken; the 64-bit "
    "veltmor-scan.exe gives the right answer here";

using scan::Quoted;

// A folder's text for comparing, where its identity cannot be read: ASCII
// letters in one case, no final backslash. (A double-byte character whose
// second byte is a letter may then match another; identity comes first.)
std::string TextKey(std::string folder)
{
    while (!folder.empty() && folder.back() == '\\')
        folder.pop_back();
    return scan::AsciiLower(folder);
}

bool SameFolder(const std::string& a, const std::string& b)
{
    return !a.empty() && TextKey(a) == TextKey(b);
}

}  // namespace

CScanCommand::CScanCommand(scan::ScanFileSystem& fileSystem, ScanHost& host)
    : m_fileSystem(fileSystem), m_host(host), m_places(fileSystem, m_host)
{
}

int CScanCommand::Run(const std::vector<std::string>& args)
{
    const ScanArguments arguments = ScanArguments::Parse(args);
    const bool summary = arguments.summary && arguments.action == ScanArguments::Action::Scan;
    if (summary)
        m_host.Hold();
    int status = RunParsed(arguments);
    if (!summary)
        return status;
    // A run that failed says why on standard error after all; a quarantine
    // that left shortcuts behind has failed too.
    const bool changes =
        arguments.verb == ScanArguments::Verb::Quarantine || arguments.verb == ScanArguments::Verb::Repair;
    if (status == kExitRefused || (changes && status != kExitAllMoved))
        m_host.Release();
    if (!m_summary.empty() && !m_host.WriteOutput(m_summary, ScanHost::Encoding::CodePage))
        status = kExitRefused;
    return status;
}

int CScanCommand::RunParsed(const ScanArguments& arguments)
{
    m_jobs = arguments.jobs ? arguments.jobs : ProcessorCount();
    switch (arguments.action) {
    case ScanArguments::Action::Refuse:
        return Refuse(arguments.problem);
    case ScanArguments::Action::Help:
        return m_host.WriteOutput(ScanArguments::Usage(), ScanHost::Encoding::CodePage) ? kExitNoneMissing
                                                                                        : kExitRefused;
    case ScanArguments::Action::Version:
        return m_host.WriteOutput(VELTMOR_VERSION "\r\n", ScanHost::Encoding::CodePage) ? kExitNoneMissing
                                                                                        : kExitRefused;
    case ScanArguments::Action::Scan:
        break;
    }
    using Verb = ScanArguments::Verb;
    const bool changes = arguments.verb == Verb::Quarantine || arguments.verb == Verb::Repair;
    const std::string wow64 = changes ? RefusedUnderWow64(arguments.verb == Verb::Repair ? "--repair" : "--quarantine")
                                      : std::string();
    if (!wow64.empty())
        return Refuse(wow64);
    if (arguments.verb != Verb::List && !m_mover)
        return Refuse("this build cannot move files");
    if ((arguments.suggest && (!m_suggest || !m_mover)) ||
        (arguments.verb == ScanArguments::Verb::Repair && !m_retargeter))
        return Refuse("this build cannot look for moved targets");

    static const struct {
        Verb verb;
        int (CScanCommand::*run)(const ScanArguments&);
    } kActions[] = {
        {Verb::List, &CScanCommand::RunList},         {Verb::Quarantine, &CScanCommand::RunQuarantine},
        {Verb::Repair, &CScanCommand::RunRepair},     {Verb::Restore, &CScanCommand::RunRestore},
        {Verb::Snapshot, &CScanCommand::RunSnapshot}, {Verb::Recover, &CScanCommand::RunRecover},
    };
    for (const auto& action : kActions)
        if (action.verb == arguments.verb)
            return (this->*action.run)(arguments);
    return Refuse("no action for these options");
}

std::string CScanCommand::PlanPlaces(const ScanArguments& arguments, std::vector<ScanPlace>& places)
{
    // Every folder is checked before any is scanned: a script gets either
    // the whole answer or none.
    for (const std::string& folder : arguments.folders) {
        const std::string problem = m_places.CheckFolder(folder);
        if (!problem.empty())
            return problem;
        m_places.AddPlace(places, {folder, kGivenFolder, std::string(), nullptr, std::string()}, true);
    }
    if (arguments.folders.empty() && arguments.locations.empty() && !arguments.allProfiles) {
        // Today's default: the Start Menu, which must be there.
        const std::string startMenu = m_host.LocationFolder(Location::StartMenu);
        if (startMenu.empty())
            return "cannot find your Start Menu folder; name a folder to scan";
        const std::string problem = m_places.CheckFolder(startMenu);
        if (!problem.empty())
            return problem;
        m_places.AddPlace(
            places, {startMenu, LocationName(Location::StartMenu), m_host.CurrentProfile(), nullptr, std::string()},
            true);
    }
    if (m_host.RunsUnderWow64())
        m_host.WriteError(kProgram + std::string(kWow64));
    m_places.PlanLocations(arguments, places);
    return std::string();
}

std::string CScanCommand::KeepFolderProblem(const std::string& folder, const char* what,
                                            const std::vector<ScanPlace>& places)
{
    // A folder inside a scanned folder, or holding one, would be scanned
    // and written at once: refused before it is written.
    std::string dir;
    if (PlainFullPath(m_mover->FullPath(folder), dir)) {
        for (const ScanPlace& place : places) {
            std::string scanned;
            if (PlainFullPath(m_mover->FullPath(place.folder), scanned) &&
                (IsWithin(dir, scanned) || IsWithin(scanned, dir)))
                return std::string("the ") + what + " folder and the scanned folder " + Quoted(place.folder) +
                       " lie in each other";
        }
    }
    return UntrustedKeepFolder(folder);
}

std::string CScanCommand::RefusedUnderWow64(const char* option)
{
    // Redirected, this build takes working shortcuts for broken ones: a
    // listing says so, a move would act on it.
    if (!m_host.RunsUnderWow64())
        return std::string();
    return option + std::string(" needs the 64-bit veltmor-scan.exe on 64-bit Windows: this 32-bit one sees System32 "
                                "and Program Files redirected and would change working shortcuts");
}

int CScanCommand::WriteFound(ScanResult& result, const ScanArguments& arguments)
{
    if (arguments.suggest)
        Suggest(result.rows);
    const int written = WriteRows(result, arguments);
    if (written != kExitNoneMissing)
        return written;
    if (!arguments.log.empty())
        m_logLines = ScanLogLines(LogSourceNow(), result.rows, result.notScanned);
    if (arguments.summary)
        m_summary = FormatSummary(result.rows, result.notScanned.size(), m_vanished);
    return kExitNoneMissing;
}

int CScanCommand::ListedStatus(const ScanArguments& arguments, const std::vector<ScanRow>& rows)
{
    // Only a target proven missing makes a row broken.
    const bool broken = std::any_of(rows.begin(), rows.end(), [](const ScanRow& row) { return row.CountsAsBroken(); });
    return Alarmed(Logged(arguments, broken ? kExitSomeMissing : kExitNoneMissing, {}, false));
}

std::vector<ScanRow> CScanCommand::MovableRows(const std::vector<ScanRow>& rows, const ScanArguments& arguments)
{
    // Moving a pin leaves a blank icon on the taskbar that only its user
    // can remove: pins move only when asked, Explorer's Tombstone never.
    std::vector<ScanRow> movable;
    std::size_t pinsLeft = 0;
    for (const ScanRow& row : rows) {
        if (row.location == "tombstone" || (row.location == "pinned" && !arguments.includePins))
            pinsLeft += row.CountsAsBroken() ? 1 : 0;
        else
            movable.push_back(row);
    }
    if (pinsLeft > 0 && !arguments.summary)
        m_host.WriteError(kProgram + std::string("left ") + std::to_string(pinsLeft) +
                          " pinned shortcuts where they are (--include-pins acts on pins, never on Explorer's "
                          "Tombstone folder)");
    return movable;
}

std::string CScanCommand::OverMaxMoves(std::size_t changing, const ScanArguments& arguments, bool repair)
{
    // A safety valve: one bad rule must not empty, or rewrite, every Start
    // Menu.
    if (!arguments.maxMoves || changing <= arguments.maxMoves)
        return std::string();
    return std::to_string(changing) + (repair ? " shortcuts would be repaired" : " shortcuts would move") +
           ", more than --max-moves " + std::to_string(arguments.maxMoves) + ": none " + (repair ? "changed" : "moved");
}

int CScanCommand::Alarmed(int status) const
{
    return status != kExitRefused && m_vanished.count > 0 ? kExitVanished : status;
}

int CScanCommand::WriteRows(const ScanResult& result, const ScanArguments& arguments)
{
    const std::string text = Format(result, arguments);
    if (!arguments.output.empty()) {
        std::string problem;
        if (!m_host.WriteOutputFile(arguments.output, text, problem))
            return Refuse("cannot write " + Quoted(arguments.output) + ": " + problem);
        return kExitNoneMissing;
    }
    const ScanHost::Encoding encoding =
        arguments.format == OutputFormat::Text ? ScanHost::Encoding::CodePage : ScanHost::Encoding::Utf8;
    return m_host.WriteOutput(text, encoding) ? kExitNoneMissing : Refuse("cannot write the output");
}

ScanResult CScanCommand::Scan(const std::vector<ScanPlace>& places, bool ignoreRemovable, bool displayAll)
{
    const std::string currentProfile = m_host.CurrentProfile();
    // On a pipe or a file the engine reads the file system directly.
    std::unique_ptr<CScanProgress> progress;
    if (m_host.ProgressWanted())
        progress = std::make_unique<CScanProgress>(m_fileSystem, m_host);
    CCollectingScanView view;
    scan::CScanEngine engine(progress ? *progress : m_fileSystem, view);
    // The readers read through file systems of their own: the progress line
    // counts what the walk hands them.
    const auto found = [&progress] {
        if (progress)
            progress->CountShortcut();
    };
    ScanResult result;
    for (const ScanPlace& place : places) {
        view.options.scanFrom = place.folder;
        view.options.ignoreRemovable = ignoreRemovable;
        view.options.displayAll = displayAll;
        view.ClearNotScanned();
        // The caller's own places are read as the shell reads them; another
        // profile's targets with that profile's variables.
        const bool otherProfile = place.otherProfile && !SameFolder(place.profile, currentProfile);
        m_host.ReadTargetsFor(otherProfile ? place.otherProfile.get() : nullptr);
        if (m_readers)
            ScanInParallel(engine, m_fileSystem, *m_readers, m_jobs, kReadWindow, found);
        else
            engine.OnScan();
        for (const CCollectingScanView::Skipped& skipped : view.NotScannedPaths()) {
            const NotScannedPath passed{skipped.path, skipped.reason};
            m_host.WriteError(kProgram + std::string("not scanned (") + passed.Words() + "): " + skipped.path);
            result.notScanned.push_back(passed);
        }
        // The view's rows hold what the engine said; the place, the drive
        // and the reason of an empty target are added here.
        for (ScanRow& row : view.TakeRows()) {
            row.kind = ShortcutKindOfName(row.shortcut);
            row.driveType = DriveTypeOf(row.target);
            // Only listed rows that gave no target are read again: the
            // others have their reason already.
            if (row.target.empty() && !row.present)
                row.emptyTarget = m_host.WhyNoTarget(row.shortcut);
            // A .url to a web page is no broken shortcut: listed with --all only.
            if (row.emptyTarget == MissingReason::NotAFile && row.target.empty() && !row.present && !displayAll)
                continue;
            row.location = PinnedLocation(row.shortcut, place.location);
            row.profile = place.profile;
            row.root = place.folder;
            row.unsafe = place.unsafe;
            row.otherProfile = otherProfile ? place.otherProfile : nullptr;
            result.rows.push_back(std::move(row));
        }
    }
    m_host.ReadTargetsFor(nullptr);
    if (progress)
        progress->Finish();
    return result;
}

int CScanCommand::Refuse(const std::string& problem)
{
    m_host.WriteError(kProgram + problem);
    return kExitRefused;
}

unsigned CScanCommand::DriveTypeOf(const std::string& target)
{
    // As the display filter does it.
    const std::string root = m_fileSystem.Root(target);
    const auto known = m_driveTypes.find(root);
    if (known != m_driveTypes.end())
        return known->second;
    return m_driveTypes[root] = m_fileSystem.DriveType(root);
}

ReportHeader CScanCommand::Header(const ScanArguments& arguments)
{
    ReportHeader header;
    header.version = VELTMOR_VERSION;
    header.machine = m_host.MachineName();
    header.user = m_host.UserName();
    header.time = m_host.UtcTime();
    header.all = arguments.displayAll;
    header.includeRemovable = !arguments.ignoreRemovable;
    header.allProfiles = arguments.allProfiles;
    for (Location location : arguments.locations)
        header.locations.push_back(LocationName(location));
    header.folders = arguments.folders;
    header.suggestions = arguments.suggest;
    header.vanished = m_vanished;
    const std::string prefix = kProgram;
    for (const std::string& note : m_host.Notes())
        header.notes.push_back(note.compare(0, prefix.size(), prefix) == 0 ? note.substr(prefix.size()) : note);
    return header;
}

void CScanCommand::JudgeCandidates(std::vector<ScanRow>& rows)
{
    // Of the Windows folder only System32 and SysWOW64: users may add files
    // to its Temp, Tasks, tracing and more.
    std::vector<std::string> machine, profiles, owners;
    for (const char* name : {"SystemRoot", "windir"}) {
        std::string value;
        if (m_host.MachineVariable(name, value) && !value.empty())
            for (const char* below : {"System32", "SysWOW64"})
                machine.push_back(value + (value.back() == '\\' ? "" : "\\") + below);
    }
    for (const char* name : {"ProgramFiles", "ProgramFiles(x86)", "ProgramW6432"}) {
        std::string value;
        if (m_host.MachineVariable(name, value))
            machine.push_back(value);
    }
    for (const ProfileRecord& profile : m_host.Profiles()) {
        profiles.push_back(profile.folder);
        owners.push_back(profile.sid);
    }
    profiles.push_back(m_host.CurrentProfile());
    owners.push_back(m_security ? m_security->UserSid() : std::string());
    for (ScanRow& row : rows) {
        if (row.candidate.empty())
            continue;
        std::string root, plain;
        row.candidateUnsafe = UntrustedTarget(row.candidate, row.shortcut, machine, profiles, root);
        if (!row.candidateUnsafe.empty() || !m_security || !PlainFullPath(row.candidate, plain))
            continue;
        // The place is right; now who may write there, folder by folder.
        // In a profile its own user may.
        std::vector<std::string> alsoTrusted;
        for (std::size_t i = 0; i < profiles.size(); ++i)
            if (SameFolder(profiles[i], root))
                alsoTrusted.push_back(owners[i]);
        const std::string why = UntrustedWay(root, plain, alsoTrusted, *m_security);
        if (!why.empty())
            row.candidateUnsafe = "its new target lies where other users may write: " + why;
    }
}

std::string CScanCommand::UntrustedKeepFolder(const std::string& folder)
{
    // An elevated run moves and writes what the folder holds wherever its
    // layout says: only the machine's own accounts may have put it there.
    // A share's rights are its server's, for its administrators to set.
    std::string dir;
    if (!m_security || !PlainFullPath(m_mover->FullPath(folder), dir) || dir.compare(0, 2, "\\\\") == 0 ||
        !m_security->Elevated())
        return std::string();
    const std::string why = UntrustedHolder(dir, *m_security);
    return why.empty() ? why
                       : "the folder " + Quoted(folder) + " may be changed by others than the administrators: " + why;
}

void CScanCommand::Suggest(std::vector<ScanRow>& rows)
{
    for (ScanRow& row : rows) {
        const MissingReason reason = row.Reason();
        if (row.target.empty() || (reason != MissingReason::Missing && reason != MissingReason::UnreachableDrive))
            continue;
        // What the shortcut stored of its target comes from the bytes the
        // scan read and checked, never from the file again (it may have
        // changed since); a shortcut whose bytes were not kept stores nothing.
        LinkEvidence evidence;
        if (!row.bytes.empty()) {
            scan::MemoryByteSource source(row.bytes.data(), row.bytes.size());
            ReadLinkEvidence(source, evidence);
        }
        const Suggestion found = cli::Suggest(row.target, row.bytes, evidence, *m_suggest);
        row.candidate = found.candidate;
        row.grade = found.grade;
        row.evidence = found.evidence;
        row.equallyGood = found.equallyGood;
    }
}

LogSource CScanCommand::LogSourceNow()
{
    return {m_host.UtcTime(), m_host.MachineName(), m_host.UserName(), VELTMOR_VERSION};
}

int CScanCommand::Logged(const ScanArguments& arguments, int status, const std::vector<MoveEvent>& moves,
                         bool changes)
{
    if (arguments.log.empty() || (changes && arguments.dryRun))
        return status;
    const LogSource source = LogSourceNow();
    const std::string name = LogFileName(source.time);
    std::string folder;
    // Appended, never rewritten: a collector reading the file meanwhile
    // sees only whole lines added at its end.
    const bool written = !name.empty() && PlainFullPath(m_mover->FullPath(arguments.log), folder) &&
                         m_mover->MakeFolders(folder) &&
                         m_mover->Append(folder + "\\" + name, m_logLines + MoveLogLines(source, moves));
    if (!written) {
        m_host.WriteError(kProgram + ("cannot append to the log in " + Quoted(arguments.log) + ": " +
                                      m_mover->LastError()));
        // A scan that says nothing of it would pass for a logged one; a
        // change already made keeps its own status.
        return changes ? status : kExitRefused;
    }
    std::vector<std::string> files, skipped, names;
    m_mover->ListFiles(folder, files, skipped);
    for (const std::string& file : files)
        if (file.find('\\') == std::string::npos)
            names.push_back(file);
    for (const std::string& old : ExpiredLogFiles(names, source.time, arguments.logKeep))
        m_mover->Remove(folder + "\\" + old);
    return status;
}

std::string CScanCommand::Format(const ScanResult& result, const ScanArguments& arguments)
{
    switch (arguments.format) {
    case OutputFormat::Csv:
        return FormatCsv(result.rows, result.notScanned, arguments.suggest);
    case OutputFormat::Json:
        return FormatJson(result.rows, result.notScanned, arguments.suggest);
    case OutputFormat::Report:
        return FormatReport(Header(arguments), result.rows, result.notScanned);
    case OutputFormat::Text:
        break;
    }
    // A scan of given folders alone reads as it always did.
    const bool places = !arguments.locations.empty() || arguments.allProfiles;
    return FormatText(result.rows, result.notScanned.size(), places) + VanishedText(m_vanished, arguments.snapshot);
}

}  // namespace cli
