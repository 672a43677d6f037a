#include "ScanEngine.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "ScanResources.h"

namespace scan {

namespace {

// Gives the controls back on every way out of the Scan command, from the
// moment they are taken away (reading the controls can throw too), and ends
// the wait cursor once it has begun.
class ScanGuard {
public:
    ScanGuard(CScanEngine& engine, ScanView& view) : m_engine(engine), m_view(view) {}
    ~ScanGuard()
    {
        if (!m_finished)
            m_engine.EnableChildren(true);
        if (m_waiting)
            m_view.EndWaitCursor();
    }
    ScanGuard(const ScanGuard&) = delete;
    ScanGuard& operator=(const ScanGuard&) = delete;

    void BeginWaitCursor()
    {
        m_view.BeginWaitCursor();
        m_waiting = true;
    }
    void Finish()
    {
        m_engine.EnableChildren(true);
        m_finished = true;
    }

private:
    CScanEngine& m_engine;
    ScanView& m_view;
    bool m_finished = false;
    bool m_waiting = false;
};

// Closes a folder search on every way out of a pass: an exception from the
// reader or the list must not leave the search handle open.
class SearchHandle {
public:
    SearchHandle(ScanFileSystem& fileSystem, ScanFileSystem::Search search)
        : m_fileSystem(fileSystem), m_search(search)
    {
    }
    ~SearchHandle()
    {
        if (m_search)
            m_fileSystem.FindClose(m_search);
    }
    SearchHandle(const SearchHandle&) = delete;
    SearchHandle& operator=(const SearchHandle&) = delete;

    explicit operator bool() const { return m_search != nullptr; }
    ScanFileSystem::Search Get() const { return m_search; }

private:
    ScanFileSystem& m_fileSystem;
    ScanFileSystem::Search m_search;  // we own it
};

// Keeps a folder on the chain of ancestors while its subtree is walked.
class AncestorEntry {
public:
    AncestorEntry(std::vector<FolderId>& chain, const FolderId& id) : m_chain(chain)
    {
        m_chain.push_back(id);
    }
    ~AncestorEntry() { m_chain.pop_back(); }
    AncestorEntry(const AncestorEntry&) = delete;
    AncestorEntry& operator=(const AncestorEntry&) = delete;

private:
    std::vector<FolderId>& m_chain;
};

bool IsDotFolder(const std::string& name)
{
    return name == "." || name == "..";
}

// The part of a "*.ext" pattern that every name it stands for ends with;
// empty when the pattern is of another form.
std::string NameSuffix(const std::string& pattern)
{
    if (pattern.empty() || pattern[0] != '*' || pattern.find_first_of("*?", 1) != std::string::npos)
        return std::string();
    return pattern.substr(1);
}

}  // namespace

CScanEngine::CScanEngine(ScanFileSystem& fileSystem, ScanView& view)
    : m_fileSystem(fileSystem), m_view(view)
{
}

void CScanEngine::OnScan()
{
    ScanGuard guard(*this, m_view);
    EnableChildren(false);
    m_view.DeleteAllRows();
    m_options = m_view.ReadControls();
    {
        const std::lock_guard<std::mutex> lock(m_driveMutex);
        m_driveTypes.clear();
        m_skippedPresenceTests = 0;
    }

    // A path that does not fit is not scanned at all: cutting it would walk
    // (and later offer to delete from) some other folder.
    std::string folder = m_options.scanFrom;
    const bool fits = FolderFits(folder);
    if (fits)
        m_fileSystem.AddBackslash(folder);

    guard.BeginWaitCursor();
    if (fits)
        ScanFolder(folder);
    else
        m_view.NotScanned(m_options.scanFrom, NotScannedReason::PathTooLong);
    guard.Finish();
}

void CScanEngine::EnableChildren(bool enable)
{
    for (ScanView::Window child = m_view.FirstChild(); child; child = m_view.NextSibling(child))
        m_view.EnableWindow(child, enable);
}

bool CScanEngine::FolderFits(const std::string& path)
{
    if (path.empty() || EndsWithBackslash(path.c_str(), m_fileSystem))
        return m_fileSystem.Fits(path);
    return m_fileSystem.Fits(path + '\\');
}

void CScanEngine::ScanFolder(const std::string& path)
{
    if (!FolderFits(path)) {
        m_view.NotScanned(path, NotScannedReason::PathTooLong);
        return;
    }
    std::string folder = path;
    m_fileSystem.AddBackslash(folder);

    // A link back to a folder on the way down would be walked again and
    // again until the paths grow too long: a count of paths that grows
    // exponentially with the number of such links.
    FolderId id;
    const bool known = m_fileSystem.FolderIdentity(folder, id);
    if (known && std::find(m_ancestors.begin(), m_ancestors.end(), id) != m_ancestors.end())
        return;
    std::unique_ptr<AncestorEntry> ancestor;
    if (known)
        ancestor = std::make_unique<AncestorEntry>(m_ancestors, id);

    const std::string linkPattern = m_fileSystem.LoadText(IDS_LINK_PATTERN);
    static const char kPifPattern[] = "*.pif";
    if (!m_fileSystem.Fits(folder + linkPattern) || !m_fileSystem.Fits(folder + kPifPattern))
        m_view.NotScanned(folder, NotScannedReason::PathTooLong);  // some pattern cannot be searched
    ScanPass(folder, linkPattern, false);
    ScanPass(folder, kPifPattern, true);
    for (const std::string& more : m_fileSystem.MoreShortcutPatterns())
        ScanPass(folder, more, false);

    const std::string pattern = folder + "*.*";
    if (!m_fileSystem.Fits(pattern))
        return;
    FindEntry entry;
    const SearchHandle search(m_fileSystem, m_fileSystem.FindFirst(pattern, entry));
    if (!search) {
        if (m_fileSystem.SearchFailed())
            m_view.NotScanned(folder, NotScannedReason::CannotOpen);
        return;
    }
    do {
        if (!(entry.attributes & kAttributeDirectory) || IsDotFolder(entry.name))
            continue;
        const std::string child = folder + entry.name;
        if (!entry.exact)
            m_view.NotScanned(child, NotScannedReason::NameNotExact);
        else
            ScanFolder(child);  // names it if it is too long
    } while (m_fileSystem.FindNext(search.Get(), entry));
}

void CScanEngine::ScanPass(const std::string& folder, const std::string& namePattern, bool pif)
{
    const std::string pattern = folder + namePattern;
    if (!m_fileSystem.Fits(pattern))
        return;  // named by the caller
    // The search also matches short 8.3 names: "foo.lnkx" is found by
    // "*.lnk" through "FOO~1.LNK". Only a name that really ends so is a
    // shortcut.
    const std::string suffix = NameSuffix(namePattern);
    FindEntry entry;
    const SearchHandle search(m_fileSystem, m_fileSystem.FindFirst(pattern, entry));
    if (!search)
        return;
    do {
        if (!EndsWithText(entry.name.c_str(), suffix.c_str(), m_fileSystem))
            continue;
        const std::string itemPath = folder + entry.name;
        if (!entry.exact) {
            m_view.NotScanned(itemPath, NotScannedReason::NameNotExact);
            continue;
        }
        if (!m_fileSystem.Fits(itemPath)) {
            m_view.NotScanned(itemPath, NotScannedReason::PathTooLong);
            continue;
        }
        if (m_sink) {
            m_sink->Shortcut(itemPath, pif);
            continue;
        }
        AddResultRow(itemPath, ReadShortcut(m_fileSystem, itemPath, pif));
    } while (m_fileSystem.FindNext(search.Get(), entry));
}

ShortcutRead CScanEngine::ReadShortcut(ScanFileSystem& fileSystem, const std::string& shortcutPath, bool pif)
{
    ShortcutRead read;
    fileSystem.ResolveShortcut(shortcutPath, read.target);
    if (read.target.judged) {
        read.presence = read.target.judgement;
        return read;
    }
    if (DefaultOptions() && RootDriveType(fileSystem, read.target.text) != kDriveFixed) {
        const std::lock_guard<std::mutex> lock(m_driveMutex);
        ++m_skippedPresenceTests;
        return read;  // not listed, present or not
    }
    if (!read.target.unverifiable.empty())
        read.presence = Presence{Verdict::Unverified, read.target.unverifiable};
    else
        read.presence = pif ? fileSystem.PifTargetPresence(read.target) : fileSystem.LinkTargetPresence(read.target);
    return read;
}

unsigned CScanEngine::RootDriveType(ScanFileSystem& fileSystem, const std::string& target)
{
    const std::string root = fileSystem.Root(target);

    const std::lock_guard<std::mutex> lock(m_driveMutex);
    const auto known = m_driveTypes.find(root);
    if (known != m_driveTypes.end())
        return known->second;
    // Asked under the lock: two readers meeting a new root ask once.
    return m_driveTypes[root] = fileSystem.DriveType(root);
}

bool CScanEngine::ShouldList(bool exists, const std::string& target)
{
    if (m_options.displayAll)
        return true;
    if (!m_options.ignoreRemovable)
        return !exists;
    // A present target is not listed whatever its drive, so its drive type
    // is not asked for: the query is the costliest call of the walk.
    if (exists)
        return false;
    return RootDriveType(m_fileSystem, target) == kDriveFixed;
}

void CScanEngine::AddResultRow(const std::string& shortcutPath, const ShortcutRead& read)
{
    const bool exists = !read.presence.ProvenMissing();
    if (!ShouldList(exists, read.target.text) && !(read.target.judged && !exists))
        return;

    // Held here until the row takes it, so a list that refuses the row or
    // throws does not leak it.
    const std::size_t size = shortcutPath.size() + 1;
    std::unique_ptr<char[]> copy(new char[size]);
    std::memcpy(copy.get(), shortcutPath.c_str(), size);

    const int row = m_view.InsertRow(m_view.RowCount(), shortcutPath.c_str(), exists ? 1 : 0);
    if (row < 0)
        return;
    m_view.SetRowText(row, 1, read.target.text.c_str());
    if (m_view.SetRowData(row, reinterpret_cast<std::intptr_t>(copy.get())))
        copy.release();  // the row owns it now; OnDeleteitemList frees it
    m_view.RowPresence(row, read.presence);
    m_view.RowTarget(row, read.target);
    m_view.RepaintList();
}

long CScanEngine::OnDeleteitemList(std::intptr_t& itemData)
{
    if (itemData != 0)
        delete[] reinterpret_cast<char*>(itemData);
    itemData = 0;
    return 0;
}

}  // namespace scan
