#include "ScanEngine.h"

#include <cstring>
#include <memory>

#include "../res/resource.h"

namespace scan {

namespace {

// Ends the wait cursor on every way out of the walk, and gives the controls
// back if the walk was left by an exception.
class ScanGuard {
public:
    ScanGuard(CScanEngine& engine, ScanView& view) : m_engine(engine), m_view(view)
    {
        m_view.BeginWaitCursor();
    }
    ~ScanGuard()
    {
        if (!m_finished)
            m_engine.EnableChildren(true);
        m_view.EndWaitCursor();
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

bool IsDotFolder(const char* name)
{
    return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

}  // namespace

CScanEngine::CScanEngine(ScanFileSystem& fileSystem, ScanView& view)
    : m_fileSystem(fileSystem), m_view(view)
{
}

void CScanEngine::OnScan()
{
    EnableChildren(false);
    m_view.DeleteAllRows();
    m_options = m_view.ReadControls();

    // A path that does not fit the buffer is not scanned at all: cutting it
    // would walk (and later offer to delete from) some other folder.
    char folder[kPathBuffer] = "";
    const bool fits = m_options.scanFrom.size() <= kMaxPathLength &&
                      RoomForBackslash(m_options.scanFrom.c_str());
    if (fits) {
        std::memcpy(folder, m_options.scanFrom.c_str(), m_options.scanFrom.size() + 1);
        m_fileSystem.AddBackslash(folder);
    }

    ScanGuard guard(*this, m_view);
    if (fits)
        ScanFolder(folder);
    guard.Finish();
}

void CScanEngine::EnableChildren(bool enable)
{
    for (ScanView::Window child = m_view.FirstChild(); child; child = m_view.NextSibling(child))
        m_view.EnableWindow(child, enable);
}

void CScanEngine::ScanFolder(const char* path)
{
    if (std::strlen(path) > kMaxPathLength || !RoomForBackslash(path))
        return;
    char folder[kPathBuffer];
    std::memcpy(folder, path, std::strlen(path) + 1);
    m_fileSystem.AddBackslash(folder);

    const std::string linkPattern = m_fileSystem.LoadText(IDS_LINK_PATTERN);
    ScanPass(folder, linkPattern.c_str(), false);
    ScanPass(folder, "*.pif", true);

    char pattern[kPathBuffer];
    if (!JoinPath(pattern, folder, "*.*"))
        return;
    FindEntry entry;
    const SearchHandle search(m_fileSystem, m_fileSystem.FindFirst(pattern, entry));
    if (!search)
        return;
    do {
        if ((entry.attributes & kAttributeDirectory) && !IsDotFolder(entry.name)) {
            char child[kPathBuffer];
            if (JoinPath(child, folder, entry.name))
                ScanFolder(child);
        }
    } while (m_fileSystem.FindNext(search.Get(), entry));
}

void CScanEngine::ScanPass(const char* folder, const char* namePattern, bool pif)
{
    char pattern[kPathBuffer];
    if (!JoinPath(pattern, folder, namePattern))
        return;
    FindEntry entry;
    const SearchHandle search(m_fileSystem, m_fileSystem.FindFirst(pattern, entry));
    if (!search)
        return;
    do {
        char itemPath[kPathBuffer];
        if (!JoinPath(itemPath, folder, entry.name))
            continue;
        char target[kPathBuffer] = "";
        m_fileSystem.ResolveShortcut(itemPath, target);
        const bool exists = pif ? m_fileSystem.PifTargetExists(target)
                                : m_fileSystem.LinkTargetExists(target);
        AddResultRow(exists, itemPath, target);
    } while (m_fileSystem.FindNext(search.Get(), entry));
}

bool CScanEngine::ShouldList(bool exists, const char* target)
{
    if (m_options.displayAll)
        return true;
    if (!m_options.ignoreRemovable)
        return !exists;
    // A present target is not listed whatever its drive, so its drive type
    // is not asked for: the query is the costliest call of the walk.
    if (exists)
        return false;

    char root[kPathBuffer];
    const std::size_t n = strnlen(target, kMaxPathLength);
    std::memcpy(root, target, n);
    root[n] = '\0';
    m_fileSystem.StripToRoot(root);
    return m_fileSystem.DriveType(root) == kDriveFixed;
}

void CScanEngine::AddResultRow(bool exists, const char* shortcutPath, const char* target)
{
    if (!ShouldList(exists, target))
        return;

    // Held here until the row takes it, so a list that refuses the row or
    // throws does not leak it.
    const std::size_t size = std::strlen(shortcutPath) + 1;
    std::unique_ptr<char[]> copy(new char[size]);
    std::memcpy(copy.get(), shortcutPath, size);

    const int row = m_view.InsertRow(m_view.RowCount(), shortcutPath, exists ? 1 : 0);
    if (row < 0)
        return;
    m_view.SetRowText(row, 1, target);
    if (m_view.SetRowData(row, reinterpret_cast<std::intptr_t>(copy.get())))
        copy.release();  // the row owns it now; OnDeleteitemList frees it
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
