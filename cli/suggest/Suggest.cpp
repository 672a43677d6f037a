#include "Suggest.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "scan/PathText.h"
#include "scan/ProgramFolder.h"
#include "scan/WinPath.h"

namespace cli {

namespace {

using scan::AsciiLower;
using scan::AsciiLowerChar;
using scan::FileNameOf;
using scan::FolderTextOf;
using scan::IsAsciiLetter;
using scan::IsProgramFilesName;
using scan::JoinedPath;
using scan::JoinPathParts;
using scan::SameAsciiText;
using scan::SplitFullPath;
using scan::WithoutTrailingBackslashes;

constexpr std::uint64_t kTicksPerSecond = 10000000;
constexpr std::uint64_t kFatStep = 2 * kTicksPerSecond;  // FAT keeps write times to 2 seconds

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsSeparator(char c)
{
    return c == ' ' || c == '-' || c == '_' || c == '.';
}

// A path given by the machine's own records (the registry) may be quoted,
// carry an icon index (",0") or surrounding blanks.
std::string CleanRecordedPath(std::string path, bool iconIndex)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!path.empty() && blank(path.back()))
        path.pop_back();
    std::size_t from = 0;
    while (from < path.size() && blank(path[from]))
        ++from;
    path.erase(0, from);
    if (iconIndex) {
        const std::size_t comma = path.find_last_of(',');
        if (comma != std::string::npos && path.find('\\', comma) == std::string::npos)
            path.erase(comma);
    }
    if (path.size() >= 2 && path.front() == '"') {
        const std::size_t close = path.find('"', 1);
        path = path.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    return WithoutTrailingBackslashes(path);
}

// Where the target lies: base\program\rest, program being the old program
// folder (none for a file at a root).
struct Place {
    std::string root;
    std::vector<std::string> parts;
    std::size_t program = std::string::npos;
    bool inProgramFiles = false;

    bool HasProgram() const { return program != std::string::npos; }
    std::string Base() const { return root + '\\' + JoinPathParts(parts, 0, program); }
    std::string Rest() const { return JoinPathParts(parts, HasProgram() ? program + 1 : 0); }
    std::string ProgramName() const { return HasProgram() ? parts[program] : std::string(); }
};

bool Locate(const std::string& target, const std::vector<scan::ProgramsFolder>& programsFolders, Place& place)
{
    if (!SplitFullPath(target, place.root, place.parts) || place.parts.empty())
        return false;
    const scan::ProgramPlace at = scan::LocateProgram(place.root, place.parts, programsFolders);
    place.program = at.program;
    place.inProgramFiles = at.within && at.within->programFiles;
    return true;
}

// The machine's program files folders, then the usual ones below any root.
std::vector<scan::ProgramsFolder> ProgramsFolders(const std::vector<std::string>& programFiles)
{
    std::vector<scan::ProgramsFolder> folders;
    for (const std::string& recorded : programFiles) {
        scan::ProgramsFolder folder;
        if (SplitFullPath(CleanRecordedPath(recorded, false), folder.root, folder.names))
            folders.push_back(folder);
    }
    const std::vector<scan::ProgramsFolder>& standard = scan::StandardProgramsFolders();
    folders.insert(folders.end(), standard.begin(), standard.end());
    return folders;
}

// The numbers in a folder's name, for putting the newest version first.
std::vector<std::uint64_t> VersionNumbers(const std::string& name)
{
    std::vector<std::uint64_t> numbers;
    for (std::size_t i = 0; i < name.size();) {
        if (!IsDigit(name[i])) {
            ++i;
            continue;
        }
        std::uint64_t value = 0;
        for (int digits = 0; i < name.size() && IsDigit(name[i]); ++i, ++digits)
            if (digits < 18)
                value = value * 10 + static_cast<std::uint64_t>(name[i] - '0');
        numbers.push_back(value);
    }
    return numbers;
}

enum class Route { Registered, Uninstall, OtherProgramFiles, OtherDrive, Sibling, Shell };

struct Candidate {
    std::string path;
    Route route;
    std::string note;  // the uninstall entry's name, the sibling folder's name
};

class Candidates {
public:
    Candidates(const std::string& target, std::size_t room) : m_room(room) { m_seen.insert(AsciiLower(target)); }

    bool Full() const { return m_list.size() >= m_room; }
    void Add(const std::string& path, Route route, const std::string& note = std::string())
    {
        if (!Full() && !path.empty() && m_seen.insert(AsciiLower(path)).second)
            m_list.push_back(Candidate{path, route, note});
    }
    void Widen(std::size_t room) { m_room = room; }
    const std::vector<Candidate>& List() const { return m_list; }

private:
    std::size_t m_room;
    std::set<std::string> m_seen;
    std::vector<Candidate> m_list;
};

void AddRegistered(const std::string& fileName, SuggestSource& source, Candidates& out)
{
    for (const std::string& recorded : source.RegisteredPaths(fileName)) {
        const std::string path = CleanRecordedPath(recorded, false);
        std::string root;
        std::vector<std::string> parts;
        if (SplitFullPath(path, root, parts) && SameAsciiText(FileNameOf(path), fileName))
            out.Add(path, Route::Registered);
    }
}

void AddUninstallEntries(const Place& place, const std::string& fileName, SuggestSource& source, Candidates& out)
{
    const std::string key = VersionlessName(place.ProgramName());
    if (key.empty())
        return;
    const std::string rest = place.Rest();
    for (const InstalledProgram& program : source.InstalledPrograms()) {
        if (out.Full())
            return;
        const std::string location = CleanRecordedPath(program.installLocation, false);
        const std::string icon = CleanRecordedPath(program.displayIcon, true);
        // The icon's nearest folder named as the program folder was.
        std::string iconProgram;
        for (std::string folder = FolderTextOf(icon); !folder.empty() && iconProgram.empty();
             folder = FolderTextOf(folder))
            if (VersionlessName(FileNameOf(folder)) == key)
                iconProgram = folder;
        const bool named = VersionlessName(program.displayName) == key ||
                           (!location.empty() && VersionlessName(FileNameOf(location)) == key) || !iconProgram.empty();
        if (!named)
            continue;
        std::string root;
        std::vector<std::string> parts;
        if (SplitFullPath(location, root, parts))
            out.Add(JoinedPath(location, rest), Route::Uninstall, program.displayName);
        if (!iconProgram.empty())
            out.Add(JoinedPath(iconProgram, rest), Route::Uninstall, program.displayName);
        if (SplitFullPath(icon, root, parts)) {
            out.Add(JoinedPath(FolderTextOf(icon), rest), Route::Uninstall, program.displayName);
            if (SameAsciiText(FileNameOf(icon), fileName))
                out.Add(icon, Route::Uninstall, program.displayName);
        }
    }
}

// Program files folders other than the one the target was in: those the
// machine has, then the twin of the old one on its own drive.
std::vector<std::string> OtherProgramFiles(const Place& place, const std::vector<std::string>& programFiles)
{
    std::vector<std::string> folders;
    if (!place.inProgramFiles)
        return folders;
    const std::string base = place.Base();
    const auto add = [&](const std::string& folder) {
        const bool known = SameAsciiText(folder, base) ||
                           std::any_of(folders.begin(), folders.end(),
                                       [&](const std::string& f) { return SameAsciiText(f, folder); });
        if (!folder.empty() && !known)
            folders.push_back(folder);
    };
    for (const std::string& folder : programFiles)
        add(CleanRecordedPath(folder, false));
    const std::string last = FileNameOf(base);
    if (place.program == 1 && IsProgramFilesName(last))
        add(place.root + (SameAsciiText(last, "Program Files") ? "\\Program Files (x86)" : "\\Program Files"));
    return folders;
}

void AddSiblings(const std::string& folder, const Place& place, SuggestSource& source, Candidates& out)
{
    const std::string program = place.ProgramName();
    const std::string key = VersionlessName(program);
    std::vector<std::string> names = source.SubFolders(folder, kMostSubFolders);
    if (names.size() > kMostSubFolders)
        names.resize(kMostSubFolders);
    std::vector<std::string> versions;
    for (const std::string& name : names)
        if (!SameAsciiText(name, program) && VersionlessName(name) == key)
            versions.push_back(name);
    std::stable_sort(versions.begin(), versions.end(), [](const std::string& a, const std::string& b) {
        return VersionNumbers(a) > VersionNumbers(b);
    });
    for (const std::string& name : versions)
        out.Add(JoinedPath(JoinedPath(folder, name), place.Rest()), Route::Sibling, name);
}

bool OnFixedDrive(const std::string& path, const std::vector<std::string>& fixedDrives)
{
    return path.size() >= 2 && IsAsciiLetter(path[0]) && path[1] == ':' &&
           std::any_of(fixedDrives.begin(), fixedDrives.end(),
                       [&](const std::string& drive) {
                           return !drive.empty() && AsciiLowerChar(drive[0]) == AsciiLowerChar(path[0]);
                       });
}

// A record's text for the evidence: at most 64 bytes, cut on a character.
std::string Shortened(const std::string& text)
{
    constexpr std::size_t kLongest = 64;
    if (text.size() <= kLongest)
        return text;
    std::size_t end = kLongest;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return text.substr(0, end) + "...";
}

std::string Thousands(std::uint64_t value)
{
    std::string digits = std::to_string(value);
    for (std::size_t at = digits.size(); at > 3; at -= 3)
        digits.insert(at - 3, ",");
    return digits;
}

std::string SerialText(std::uint32_t serial)
{
    char text[16];
    std::snprintf(text, sizeof text, "%04X-%04X", static_cast<unsigned>(serial >> 16),
                  static_cast<unsigned>(serial & 0xFFFF));
    return text;
}

const char* DriveTypeName(std::uint32_t type)
{
    switch (type) {
    case kDriveRemovable: return "a removable drive";
    case kDriveRemote: return "a network drive";
    case kDriveCdRom: return "a CD-ROM drive";
    default: return nullptr;
    }
}

// The header stores the low 32 bits of the size.
bool SameSize(std::uint32_t stored, std::uint64_t found)
{
    return stored != 0 && static_cast<std::uint32_t>(found & 0xFFFFFFFFu) == stored;
}

// Equal to the tick, or within the 2-second step of a FAT time on either side
// (a copy to or from a FAT drive rounds the time to it).
bool SameWriteTime(std::uint64_t stored, std::uint64_t found, bool& fatStep)
{
    fatStep = false;
    if (stored == 0 || found == 0)
        return false;
    if (stored == found)
        return true;
    const std::uint64_t apart = stored > found ? stored - found : found - stored;
    fatStep = (stored % kFatStep == 0 || found % kFatStep == 0) && apart < kFatStep;
    return fatStep;
}

std::string RouteText(const Candidate& candidate, const std::string& program)
{
    switch (candidate.route) {
    case Route::Registered: return "registered in App Paths";
    case Route::Uninstall: return "uninstall entry \"" + Shortened(candidate.note) + "\"";
    case Route::OtherProgramFiles: return "the other program files folder";
    case Route::OtherDrive: return "another drive";
    case Route::Sibling: return "another version's folder, " + Shortened(candidate.note) + " for " + Shortened(program);
    case Route::Shell: return "the shell's resolution";
    }
    return std::string();
}

struct Judged {
    Grade grade = Grade::None;
    std::string evidence;
};

Judged Judge(const Candidate& candidate, const FileFacts& facts, const LinkEvidence& stored, const Place& place,
             const std::vector<std::string>& fixedDrives)
{
    Judged judged;
    bool fatStep = false;
    const bool size = SameSize(stored.fileSize, facts.size);
    const bool time = SameWriteTime(stored.writeTime, facts.writeTime, fatStep);
    const bool sibling = candidate.route == Route::Sibling;
    if (size && time)
        judged.grade = Grade::Exact;
    else if (size || sibling || (stored.fileSize == 0 && time))
        judged.grade = Grade::Likely;
    else
        judged.grade = Grade::NameOnly;

    const std::string foundTime = FileTimeText(facts.writeTime);
    std::string matched;
    if (size && time)
        matched = ", size " + Thousands(facts.size) + " and write time " + foundTime + " as stored";
    else if (size)
        matched = " and size " + Thousands(facts.size) + " as stored";
    else if (time)
        matched = " and write time " + foundTime + " as stored";
    std::string text = RouteText(candidate, place.ProgramName()) + ": same name" +
                       (matched.empty() && !sibling ? " only" : matched);
    if (fatStep)
        text += " (within a FAT time's 2 seconds)";
    if (!size)
        text += stored.fileSize ? "; size " + Thousands(facts.size) + ", the shortcut's " + Thousands(stored.fileSize)
                                : "; size " + Thousands(facts.size) + ", none stored";
    if (!time) {
        if (!stored.writeTime)
            text += "; no write time stored";
        else if (!facts.writeTime)
            text += "; write time unknown, the shortcut's " + FileTimeText(stored.writeTime);
        else
            text += "; write time " + foundTime + ", the shortcut's " + FileTimeText(stored.writeTime);
    }
    if (stored.hasVolume && facts.hasSerial) {
        text += facts.volumeSerial == stored.volumeSerial
                    ? "; volume " + SerialText(stored.volumeSerial) + " as stored"
                    : "; on another volume: serial " + SerialText(facts.volumeSerial) + ", the shortcut's " +
                          SerialText(stored.volumeSerial);
    }
    const char* storedDrive = stored.hasVolume ? DriveTypeName(stored.driveType) : nullptr;
    if (storedDrive && OnFixedDrive(candidate.path, fixedDrives))
        text += std::string("; the shortcut's target was on ") + storedDrive + ", this one is on a fixed drive";
    // One line whatever a record's text holds.
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = ' ';
    judged.evidence = text;
    return judged;
}

}  // namespace

const char* GradeName(Grade grade)
{
    switch (grade) {
    case Grade::NameOnly: return "name-only";
    case Grade::Likely: return "likely";
    case Grade::Exact: return "exact";
    case Grade::None: break;
    }
    return "";
}

std::string VersionlessName(const std::string& folderName)
{
    std::string out;
    const std::size_t n = folderName.size();
    for (std::size_t i = 0; i < n;) {
        const char c = folderName[i];
        const bool v = (c == 'v' || c == 'V') && (i == 0 || !IsAsciiLetter(folderName[i - 1])) && i + 1 < n &&
                       IsDigit(folderName[i + 1]);
        if (!v && !IsDigit(c)) {
            out += AsciiLowerChar(c);
            ++i;
            continue;
        }
        std::size_t j = v ? i + 1 : i;
        while (j < n && (IsDigit(folderName[j]) || folderName[j] == '.'))
            ++j;
        while (!out.empty() && IsSeparator(out.back()))
            out.pop_back();
        while (j < n && IsSeparator(folderName[j]))
            ++j;
        if (!out.empty() && j < n)
            out += ' ';  // "App 4 Pro" and "App-5-Pro" alike
        i = j;
    }
    while (!out.empty() && IsSeparator(out.back()))
        out.pop_back();
    return out;
}

std::string FileTimeText(std::uint64_t ticks)
{
    // Days from 1601-01-01 to 1970-01-01, then a civil date from days.
    const std::uint64_t seconds = ticks / kTicksPerSecond;
    const std::int64_t days = static_cast<std::int64_t>(seconds / 86400) - 134774;
    const unsigned secondOfDay = static_cast<unsigned>(seconds % 86400);
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    char text[48];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02u:%02u:%02u UTC", static_cast<long long>(year),
                  static_cast<long long>(month), static_cast<long long>(day), secondOfDay / 3600,
                  secondOfDay / 60 % 60, secondOfDay % 60);
    return text;
}

Suggestion Suggest(const std::string& target, const std::string& shortcutBytes, const LinkEvidence& evidence,
                   SuggestSource& source)
{
    Suggestion suggestion;
    const std::vector<std::string> fixedDrives = source.FixedDrives();
    const std::vector<std::string> programFiles = source.ProgramFilesFolders();
    Place place;
    const bool located = Locate(target, ProgramsFolders(programFiles), place);
    const std::string fileName = located ? place.parts.back() : std::string();

    // The last slot is kept for the shell's answer.
    Candidates candidates(target, kMostCandidates - 1);
    if (located) {
        AddRegistered(fileName, source, candidates);
        AddUninstallEntries(place, fileName, source, candidates);
        const std::vector<std::string> otherProgramFiles = OtherProgramFiles(place, programFiles);
        for (const std::string& folder : otherProgramFiles)
            candidates.Add(JoinedPath(JoinedPath(folder, place.ProgramName()), place.Rest()), Route::OtherProgramFiles);
        std::vector<std::string> otherDrives;
        if (scan::IsDriveRooted(target))
            for (const std::string& drive : fixedDrives)
                if (!drive.empty() && IsAsciiLetter(drive[0]) &&
                    !SameAsciiText(drive.substr(0, 1), place.root.substr(0, 1)))
                    otherDrives.push_back(drive.substr(0, 1) + ':');
        for (const std::string& drive : otherDrives)
            candidates.Add(drive + '\\' + JoinPathParts(place.parts, 0), Route::OtherDrive);

        if (!VersionlessName(place.ProgramName()).empty()) {
            std::vector<std::string> folders{place.Base()};
            folders.insert(folders.end(), otherProgramFiles.begin(), otherProgramFiles.end());
            for (const std::string& drive : otherDrives)
                folders.push_back(drive + '\\' + JoinPathParts(place.parts, 0, place.program));
            // Only a fixed drive's folders are listed: a share or a disc may
            // take long to answer, and its targets are not called missing.
            folders.erase(std::remove_if(folders.begin(), folders.end(),
                                         [&](const std::string& f) { return !OnFixedDrive(f, fixedDrives); }),
                          folders.end());
            if (folders.size() > kMostSiblingFolders)
                folders.resize(kMostSiblingFolders);
            for (const std::string& folder : folders)
                if (!candidates.Full())
                    AddSiblings(folder, place, source, candidates);
        }
    }
    candidates.Widen(kMostCandidates);
    // The shell is asked only where the shortcut keeps a form of its path
    // that it can resolve without searching or tracking (a known folder,
    // environment variables): otherwise it has nothing to go by that was not
    // tried above, and each answer costs as much as the rest of the search.
    std::string resolved;
    if ((evidence.hasKnownFolder || !evidence.environmentTarget.empty()) &&
        source.ShellResolve(shortcutBytes, resolved))
        candidates.Add(CleanRecordedPath(resolved, false), Route::Shell);

    const std::string wanted = located ? fileName : FileNameOf(target);
    for (const Candidate& candidate : candidates.List()) {
        if (wanted.empty() || !SameAsciiText(FileNameOf(candidate.path), wanted))
            continue;  // the shell's answer may name another file
        FileFacts facts;
        ++suggestion.tested;
        if (!source.Facts(candidate.path, facts) || !facts.exists || facts.folder)
            continue;
        const Judged judged = Judge(candidate, facts, evidence, place, fixedDrives);
        if (judged.grade > suggestion.grade) {
            suggestion.candidate = candidate.path;
            suggestion.grade = judged.grade;
            suggestion.evidence = judged.evidence;
            suggestion.equallyGood = 0;
        } else if (judged.grade == suggestion.grade) {
            ++suggestion.equallyGood;
        }
    }
    if (suggestion.grade == Grade::None)
        suggestion.evidence = "nothing of that name in " + std::to_string(suggestion.tested) + " places looked at";
    return suggestion;
}

}  // namespace cli
