#include "ScanCommand.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "CollectingScanView.h"
#include "Quarantine.h"
#include "RowFormat.h"
#include "ScanProgress.h"
#include "scan/PathText.h"
#include "scan/ScanEngine.h"

namespace cli {

namespace {

const char kProgram[] = "veltmor-scan: ";
const char kGivenFolder[] = "folder";

const char kWow64[] =
    "this is the 32-bit veltmor-scan on 64-bit Windows: Windows shows it System32 as SysWOW64 and "
    "%ProgramFiles% as Program Files (x86), so it can call working shortcuts broken; the 64-bit "
    "veltmor-scan.exe gives the right answer here";

std::string Quoted(const std::string& path)
{
    return "\"" + path + "\"";
}

// A folder's text for comparing, where its identity cannot be read: ASCII
// letters in one case, no final backslash. (A double-byte character whose
// second byte is a letter may then match another; identity comes first.)
std::string TextKey(std::string folder)
{
    while (!folder.empty() && folder.back() == '\\')
        folder.pop_back();
    return scan::AsciiLower(folder);
}

std::string OfProfile(Location location, const std::string& profile)
{
    return std::string(LocationName(location)) + " of profile " + Quoted(profile);
}

}  // namespace

CScanCommand::CScanCommand(scan::ScanFileSystem& fileSystem, ScanHost& host)
    : m_fileSystem(fileSystem), m_host(host)
{
}

int CScanCommand::Run(const std::vector<std::string>& args)
{
    const ScanArguments arguments = ScanArguments::Parse(args);
    m_jobs = arguments.jobs ? arguments.jobs : ProcessorCount();
    switch (arguments.action) {
    case ScanArguments::Action::Refuse:
        return Refuse(arguments.problem);
    case ScanArguments::Action::Help:
        return m_host.WriteOutput(ScanArguments::Usage(), ScanHost::Encoding::Ansi) ? kExitNoneMissing
                                                                                    : kExitRefused;
    case ScanArguments::Action::Version:
        return m_host.WriteOutput(VELTMOR_VERSION "\r\n", ScanHost::Encoding::Ansi) ? kExitNoneMissing
                                                                                    : kExitRefused;
    case ScanArguments::Action::Scan:
        break;
    }
    // Redirected, this build takes working shortcuts for broken ones: a
    // listing says so, a move would act on it.
    if (!arguments.quarantine.empty() && m_host.RunsUnderWow64())
        return Refuse("--quarantine needs the 64-bit veltmor-scan.exe on 64-bit Windows: this 32-bit one "
                      "sees System32 and Program Files redirected and would move working shortcuts");
    if ((!arguments.quarantine.empty() || !arguments.restore.empty()) && !m_mover)
        return Refuse("this build cannot move files");
    if (!arguments.restore.empty()) {
        CQuarantine restore(*m_mover, m_fileSystem, m_host);
        const std::string problem =
            restore.Open(arguments.restore, CQuarantine::Purpose::Restore, arguments.dryRun);
        return problem.empty() ? restore.Restore() : Refuse(problem);
    }

    // Every folder is checked before any is scanned: a script gets either
    // the whole answer or none.
    std::vector<ScanPlace> places;
    for (const std::string& folder : arguments.folders) {
        const std::string problem = CheckFolder(folder);
        if (!problem.empty())
            return Refuse(problem);
        AddPlace(places, {folder, kGivenFolder, std::string()}, true);
    }
    if (arguments.folders.empty() && arguments.locations.empty() && !arguments.allProfiles) {
        // Today's default: the Start Menu, which must be there.
        const std::string startMenu = m_host.LocationFolder(Location::StartMenu);
        if (startMenu.empty())
            return Refuse("cannot find your Start Menu folder; name a folder to scan");
        const std::string problem = CheckFolder(startMenu);
        if (!problem.empty())
            return Refuse(problem);
        AddPlace(places, {startMenu, LocationName(Location::StartMenu), m_host.CurrentProfile()}, true);
    }

    if (m_host.RunsUnderWow64())
        m_host.WriteError(kProgram + std::string(kWow64));
    PlanLocations(arguments, places);

    // The quarantine folder is made and written before the scan: one that
    // cannot be used stops the run before anything moves.
    std::unique_ptr<CQuarantine> quarantine;
    if (!arguments.quarantine.empty()) {
        quarantine.reset(new CQuarantine(*m_mover, m_fileSystem, m_host));
        const std::string problem =
            quarantine->Open(arguments.quarantine, CQuarantine::Purpose::Quarantine, arguments.dryRun);
        if (!problem.empty())
            return Refuse(problem);
    }

    const ScanResult result = Scan(places, arguments.ignoreRemovable, arguments.displayAll);
    const ScanHost::Encoding encoding =
        arguments.format == OutputFormat::Json ? ScanHost::Encoding::Utf8 : ScanHost::Encoding::Ansi;
    if (!m_host.WriteOutput(Format(result, arguments), encoding))
        return Refuse("cannot write the output");
    if (quarantine)
        return quarantine->Quarantine(QuarantineItems(result.rows));

    for (const ScanRow& row : result.rows)
        if (!row.present)
            return kExitSomeMissing;
    return kExitNoneMissing;
}

void CScanCommand::PlanLocations(const ScanArguments& arguments, std::vector<ScanPlace>& places)
{
    std::vector<Location> locations = arguments.locations;
    if (locations.empty() && arguments.allProfiles)
        locations.push_back(Location::StartMenu);
    if (locations.empty())
        return;

    // The profiles are read once; one that cannot be read at all is named
    // once, not once per location.
    std::vector<ProfileRecord> profiles;
    if (arguments.allProfiles) {
        for (ProfileRecord& profile : m_host.Profiles()) {
            const std::string name = profile.folder.empty() ? profile.sid : Quoted(profile.folder);
            if (profile.problem.empty() && !m_host.IsFolder(profile.folder))
                profile.problem = "its folder does not exist";
            if (profile.problem.empty())
                profiles.push_back(std::move(profile));
            else
                m_host.WriteError(kProgram + ("left out: profile " + name + " (" + profile.problem + ")"));
        }
    }

    const std::string currentProfile = m_host.CurrentProfile();
    for (Location location : locations) {
        const bool perUser = IsPerUser(location);
        const std::string folder = m_host.LocationFolder(location);
        if (folder.empty())
            m_host.WriteError(kProgram + ("left out: " + std::string(LocationName(location)) +
                                          " (the shell has no such folder here)"));
        else if (FitsPath(folder) && !m_host.IsFolder(folder))
            LeftOut(LocationName(location), folder);
        else
            AddPlace(places, {folder, LocationName(location), perUser ? currentProfile : std::string()}, false);
        if (perUser)
            for (const ProfileRecord& profile : profiles)
                PlanProfile(profile, location, places);
    }
}

void CScanCommand::PlanProfile(const ProfileRecord& profile, Location location, std::vector<ScanPlace>& places)
{
    std::vector<std::string> candidates;
    std::string problem;
    const MachineVariables machine = [this](const std::string& name, std::string& value) {
        return m_host.MachineVariable(name, value);
    };
    if (!ProfileLocationCandidates(profile, location, machine, candidates, problem)) {
        m_host.WriteError(kProgram + ("left out: " + OfProfile(location, profile.folder) + " (" + problem + ")"));
        return;
    }
    for (const std::string& candidate : candidates) {
        if (!FitsPath(candidate) || m_host.IsFolder(candidate)) {
            AddPlace(places, {candidate, LocationName(location), profile.folder}, false);
            return;
        }
    }
    LeftOut(OfProfile(location, profile.folder), candidates.front());
}

void CScanCommand::AddPlace(std::vector<ScanPlace>& places, const ScanPlace& place, bool given)
{
    char folder[scan::kPathBuffer] = "";
    scan::FolderId id;
    bool known = false;
    if (FitsPath(place.folder)) {
        std::memcpy(folder, place.folder.c_str(), place.folder.size() + 1);
        m_fileSystem.AddBackslash(folder);
        known = m_fileSystem.FolderIdentity(folder, id);
    }
    const std::string text = TextKey(place.folder);
    const bool seen = known ? std::find(m_plannedIds.begin(), m_plannedIds.end(), id) != m_plannedIds.end()
                            : std::find(m_plannedTexts.begin(), m_plannedTexts.end(), text) != m_plannedTexts.end();
    if (seen && !given)
        return;
    if (known)
        m_plannedIds.push_back(id);
    m_plannedTexts.push_back(text);
    places.push_back(place);
}

void CScanCommand::LeftOut(const std::string& what, const std::string& folder)
{
    // The current user is also one of the profiles: one line per folder.
    const std::string key = TextKey(folder);
    if (std::find(m_leftOut.begin(), m_leftOut.end(), key) != m_leftOut.end())
        return;
    m_leftOut.push_back(key);
    m_host.WriteError(kProgram + ("left out: " + what + " (no such folder: " + Quoted(folder) + ")"));
}

ScanResult CScanCommand::Scan(const std::vector<ScanPlace>& places, bool ignoreRemovable, bool displayAll)
{
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
        if (m_readers)
            ScanInParallel(engine, m_fileSystem, *m_readers, m_jobs, kReadWindow, found);
        else
            engine.OnScan();
        for (const CCollectingScanView::Skipped& skipped : view.NotScannedPaths()) {
            const bool tooLong = skipped.reason == scan::NotScannedReason::PathTooLong;
            m_host.WriteError(kProgram + std::string(tooLong ? "not scanned (path too long): "
                                                             : "not scanned (cannot open folder): ") +
                              skipped.path);
            ++result.notScanned;
        }
        for (const CCollectingScanView::Row& listed : view.Rows()) {
            ScanRow row;
            row.shortcut = listed.shortcut;
            row.target = listed.target;
            row.present = listed.present;
            row.driveType = DriveTypeOf(listed.target);
            // Only listed rows that gave no target are read again: the
            // others have their reason already.
            if (row.target.empty() && !row.present)
                row.emptyTarget = m_host.WhyNoTarget(row.shortcut);
            row.location = place.location;
            row.profile = place.profile;
            result.rows.push_back(std::move(row));
        }
    }
    if (progress)
        progress->Finish();
    return result;
}

int CScanCommand::Refuse(const std::string& problem)
{
    m_host.WriteError(kProgram + problem);
    return kExitRefused;
}

bool CScanCommand::FitsPath(const std::string& folder)
{
    return folder.size() <= scan::kMaxPathLength && scan::RoomForBackslash(folder.c_str(), m_fileSystem);
}

std::string CScanCommand::CheckFolder(const std::string& folder)
{
    // The scan would walk nothing rather than cut the path: say so instead.
    if (!FitsPath(folder))
        return "folder path too long (" + std::to_string(folder.size()) + " characters; at most " +
               std::to_string(scan::kMaxPathLength) + " with its final backslash): " + Quoted(folder);
    if (!m_host.IsFolder(folder))
        return "no such folder: " + Quoted(folder);
    return std::string();
}

unsigned CScanCommand::DriveTypeOf(const std::string& target)
{
    // As the display filter does it: the target cut to a path's length,
    // stripped to its root.
    char root[scan::kPathBuffer];
    const std::size_t n = std::min(target.size(), scan::kMaxPathLength);
    std::memcpy(root, target.data(), n);
    root[n] = '\0';
    m_fileSystem.StripToRoot(root);
    const auto known = m_driveTypes.find(root);
    if (known != m_driveTypes.end())
        return known->second;
    return m_driveTypes[root] = m_fileSystem.DriveType(root);
}

std::string CScanCommand::Format(const ScanResult& result, const ScanArguments& arguments)
{
    switch (arguments.format) {
    case OutputFormat::Csv:
        return FormatCsv(result.rows);
    case OutputFormat::Json:
        return FormatJson(result.rows, [this](const std::string& ansi) { return m_host.AnsiToUtf8(ansi); });
    case OutputFormat::Text:
        break;
    }
    // A scan of given folders alone reads as it always did.
    const bool places = !arguments.locations.empty() || arguments.allProfiles;
    return FormatText(result.rows, result.notScanned, places);
}

}  // namespace cli
