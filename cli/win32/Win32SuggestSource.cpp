#include "Win32SuggestSource.h"

#include <windows.h>
#include <objbase.h>
#include <objidl.h>
#include <shlobj.h>

#include <algorithm>
#include <functional>

#include "MemoryLink.h"
#include "RegistryKey.h"
#include "SystemPath.h"
#include "scan/Win32Text.h"

namespace cli {

namespace {

using scan::Narrow;
using scan::Widen;

// The shell may take this long to answer; it never searches or asks.
constexpr DWORD kResolveMilliseconds = 500;
// Nothing in a path list or registry value we read is longer.
constexpr DWORD kLongestValue = 32768;

std::uint64_t Ticks(const FILETIME& time)
{
    return static_cast<std::uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

// "C:\\" or "\\\\server\\share\\" of a full path; empty for another form.
std::string RootOf(const std::string& path)
{
    if (path.size() >= 3 && path[1] == ':' && path[2] == '\\')
        return path.substr(0, 3);
    if (path.compare(0, 2, "\\\\") != 0)
        return std::string();
    const std::size_t server = path.find('\\', 2);
    const std::size_t share = server == std::string::npos ? server : path.find('\\', server + 1);
    return share == std::string::npos ? path + "\\" : path.substr(0, share + 1);
}

// A text value, expanded when stored as REG_EXPAND_SZ; "" otherwise.
std::string Expanded(const CRegistryKey& key, const wchar_t* name)
{
    std::string stored;
    if (!key.Text(name ? name : L"", stored) || stored.size() > kLongestValue)
        return std::string();
    const std::wstring wide = Widen(stored, CP_UTF8);
    const DWORD n = ::ExpandEnvironmentStringsW(wide.c_str(), NULL, 0);
    std::wstring expanded(n ? n : 1, L'\0');
    if (n && n <= kLongestValue && ::ExpandEnvironmentStringsW(wide.c_str(), &expanded[0], n) == n)
        return Narrow(expanded.c_str(), CP_UTF8);
    return stored;
}


// The registry's two views on 64-bit Windows: programs of either kind
// register themselves in their own.
const REGSAM kViews[] = {KEY_WOW64_64KEY, KEY_WOW64_32KEY};

// Each key below path in both hives and both registry views, opened; a
// machine has hundreds of them, never tens of thousands.
void EachSubKey(const char* path, const std::function<void(const wchar_t* name, const CRegistryKey& key)>& visit)
{
    for (HKEY hive : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        for (REGSAM view : kViews) {
            CRegistryKey list;
            if (!list.Open(hive, path, view))
                continue;
            for (DWORD i = 0; i < 10000; ++i) {
                wchar_t name[256];
                DWORD length = 256;
                if (::RegEnumKeyExW(list.Get(), i, name, &length, NULL, NULL, NULL, NULL) != ERROR_SUCCESS)
                    break;
                CRegistryKey entry;
                if (entry.Open(list.Get(), Narrow(name, CP_UTF8), view))
                    visit(name, entry);
            }
        }
    }
}

// "C:\App\app.exe" of a value such as "\"C:\App\app.exe\",0" or
// "C:\App\app.exe -flag".
std::string PathOfCommand(std::string value)
{
    if (!value.empty() && value[0] == '"') {
        const std::size_t end = value.find('"', 1);
        return end == std::string::npos ? std::string() : value.substr(1, end - 1);
    }
    const std::size_t comma = value.rfind(',');
    if (comma != std::string::npos && value.find('\\', comma) == std::string::npos)
        value.erase(comma);
    return value;
}


}  // namespace

bool CWin32SuggestSource::Facts(const std::string& path, FileFacts& facts)
{
    facts = FileFacts();
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExW(SystemPath(path).c_str(), GetFileExInfoStandard, &data))
        return false;
    facts.exists = true;
    facts.folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.size = static_cast<std::uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
    facts.writeTime = Ticks(data.ftLastWriteTime);
    facts.creationTime = Ticks(data.ftCreationTime);
    facts.attributes = data.dwFileAttributes;
    const std::string root = RootOf(path);
    auto known = m_serials.find(root);
    if (known == m_serials.end()) {
        DWORD serial = 0;
        const bool read = !root.empty() && ::GetVolumeInformationW(Widen(root, CP_UTF8).c_str(), NULL, 0, &serial,
                                                                   NULL, NULL, NULL, 0);
        known = m_serials.emplace(root, std::make_pair(read, static_cast<unsigned>(serial))).first;
    }
    facts.hasSerial = known->second.first;
    facts.volumeSerial = known->second.second;
    return true;
}

std::vector<std::string> CWin32SuggestSource::FixedDrives()
{
    if (!m_fixedDrives) {
        m_fixedDrives.reset(new std::vector<std::string>());
        const DWORD drives = ::GetLogicalDrives();
        for (int letter = 0; letter < 26; ++letter) {
            if (!(drives & (1u << letter)))
                continue;
            const wchar_t root[] = {static_cast<wchar_t>(L'A' + letter), L':', L'\\', L'\0'};
            if (::GetDriveTypeW(root) == DRIVE_FIXED)
                m_fixedDrives->push_back(Narrow(root, CP_UTF8));
        }
    }
    return *m_fixedDrives;
}

std::vector<std::string> CWin32SuggestSource::SubFolders(const std::string& folder, std::size_t limit)
{
    // Many missing targets share a parent (Program Files): each folder is
    // listed once a run.
    const std::string key = folder + '\n' + std::to_string(limit);
    const auto listed = m_subFolders.find(key);
    if (listed != m_subFolders.end())
        return listed->second;
    std::vector<std::string>& names = m_subFolders[key];
    WIN32_FIND_DATAW found;
    const HANDLE find = ::FindFirstFileExW((SystemPath(folder) + L"\\*").c_str(), FindExInfoStandard, &found,
                                           FindExSearchLimitToDirectories, NULL, 0);
    if (find == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::wstring name = found.cFileName;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"." && name != L"..")
            names.push_back(Narrow(name, CP_UTF8));
    } while (names.size() < limit && ::FindNextFileW(find, &found));
    ::FindClose(find);
    return names;
}

std::vector<std::string> CWin32SuggestSource::ProgramFilesFolders()
{
    std::vector<std::string> folders;
    for (const wchar_t* name : {L"ProgramW6432", L"ProgramFiles", L"ProgramFiles(x86)"}) {
        wchar_t value[MAX_PATH];
        const DWORD n = ::GetEnvironmentVariableW(name, value, MAX_PATH);
        if (n == 0 || n >= MAX_PATH)
            continue;
        const std::string folder = Narrow(value, CP_UTF8);
        bool seen = false;
        for (const std::string& known : folders)
            seen = seen || ::lstrcmpiW(Widen(known, CP_UTF8).c_str(), value) == 0;
        if (!seen)
            folders.push_back(folder);
    }
    return folders;
}

std::vector<std::string> CWin32SuggestSource::RegisteredPaths(const std::string& fileName)
{
    // Every registration is read once a run: opening a key that is not
    // there, four times a missing target, costs more than the rest of the
    // search.
    if (!m_appPaths) {
        m_appPaths.reset(new std::map<std::wstring, std::vector<std::string>>());
        EachSubKey("Software\\Microsoft\\Windows\\CurrentVersion\\App Paths",
                   [this](const wchar_t* name, const CRegistryKey& registered) {
                       const std::string path = PathOfCommand(Expanded(registered, nullptr));
                       std::wstring key = name;
                       ::CharUpperW(&key[0]);
                       std::vector<std::string>& paths = (*m_appPaths)[key];
                       if (!path.empty() && std::find(paths.begin(), paths.end(), path) == paths.end())
                           paths.push_back(path);
                   });
    }
    std::wstring key = Widen(fileName, CP_UTF8);
    if (key.empty())
        return std::vector<std::string>();
    ::CharUpperW(&key[0]);
    const auto found = m_appPaths->find(key);
    return found == m_appPaths->end() ? std::vector<std::string>() : found->second;
}

std::vector<InstalledProgram> CWin32SuggestSource::InstalledPrograms()
{
    if (m_installed)
        return *m_installed;
    m_installed.reset(new std::vector<InstalledProgram>());
    EachSubKey("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", [this](const wchar_t*, const CRegistryKey& entry) {
        InstalledProgram program;
        program.displayName = Expanded(entry, L"DisplayName");
        program.installLocation = Expanded(entry, L"InstallLocation");
        program.displayIcon = PathOfCommand(Expanded(entry, L"DisplayIcon"));
        if (!program.installLocation.empty() || !program.displayIcon.empty())
            m_installed->push_back(program);
    });
    return *m_installed;
}

bool CWin32SuggestSource::ShellResolve(const std::string& bytes, std::string& target)
{
    // The bytes the scan checked, loaded from memory: the shell parses
    // nothing the check did not pass, and can neither update nor lock the
    // shortcut itself.
    if (bytes.empty())
        return false;
    CMemoryLink link;
    if (FAILED(link.Load(bytes)))
        return false;
    const DWORD flags = SLR_NO_UI | SLR_NOUPDATE | SLR_NOSEARCH | SLR_NOTRACK | (kResolveMilliseconds << 16);
    if (link->Resolve(NULL, flags) != S_OK)
        return false;
    wchar_t path[MAX_PATH * 4] = L"";
    if (link->GetPath(path, MAX_PATH * 4, NULL, 0) != S_OK || !path[0])
        return false;
    target = Narrow(path, CP_UTF8);
    return true;
}

}  // namespace cli
