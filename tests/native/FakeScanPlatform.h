// In-memory stand-ins for what the scan needs from Windows: a folder tree
// searched by patterns the way FindFirstFileA searches, shortcut targets, the
// shell path helpers, drive types, and a results list that reports every row
// it deletes to CScanEngine::OnDeleteitemList, as the real list does with
// LVN_DELETEITEM. The file system takes paths of at most 259 characters, as
// the dialog's does: a path handed to it that does not fit (a buffer
// overflow on Windows) fails the running test at once.
#ifndef VELTMOR_TESTS_NATIVE_FAKESCANPLATFORM_H
#define VELTMOR_TESTS_NATIVE_FAKESCANPLATFORM_H

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "res/resource.h"
#include "scan/ScanEngine.h"

namespace fake {

constexpr unsigned kAttributeHidden = 0x02;
constexpr unsigned kAttributeSystem = 0x04;
constexpr unsigned kAttributeArchive = 0x20;

constexpr unsigned kDriveNoRootDir = 1;
constexpr unsigned kDriveRemovable = 2;
constexpr unsigned kDriveRemote = 4;
constexpr unsigned kDriveCdrom = 5;
constexpr unsigned kDriveRamdisk = 6;

// Thrown by the fakes on request, to drive the scan's exception paths.
struct FakeFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

inline std::string Lower(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The platform's file search: '*' and '?' wildcards, any case, and "*.*"
// matches every name, with or without a dot.
inline bool MatchesPattern(const std::string& pattern, const std::string& name)
{
    if (pattern == "*.*")
        return true;
    const std::string p = Lower(pattern), n = Lower(name);
    std::size_t pi = 0, ni = 0, star = std::string::npos, resume = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == '?' || p[pi] == n[ni])) {
            ++pi;
            ++ni;
        } else if (pi < p.size() && p[pi] == '*') {
            star = pi++;
            resume = ni;
        } else if (star != std::string::npos) {
            pi = star + 1;
            ni = ++resume;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*')
        ++pi;
    return pi == p.size();
}

// Every platform call of interest, in the order made, as "Name(argument)".
class CallLog {
public:
    void Add(const std::string& name, const std::string& argument)
    {
        m_calls.push_back(name + "(" + argument + ")");
    }

    const std::vector<std::string>& All() const { return m_calls; }

    // The calls of the given names only, in order.
    std::vector<std::string> Only(std::initializer_list<const char*> names) const
    {
        std::vector<std::string> kept;
        for (const std::string& call : m_calls)
            for (const char* name : names)
                if (call.compare(0, std::strlen(name) + 1, std::string(name) + "(") == 0)
                    kept.push_back(call);
        return kept;
    }

    void Clear() { m_calls.clear(); }

private:
    std::vector<std::string> m_calls;
};

// A folder tree, shortcut targets and drive types. Paths are given without a
// trailing backslash; "" is the process's current folder. Entries are
// enumerated in the order they were added, never sorted.
class FakeFileSystem : public scan::ScanFileSystem {
public:
    enum class SeenBy { Both, LinkTestOnly, PifTestOnly };

    explicit FakeFileSystem(CallLog& log) : m_log(log) {}

    void AddFolder(const std::string& path, unsigned attributes = scan::kAttributeDirectory)
    {
        FolderFor(path);
        if (!IsRoot(path))
            AddEntry(path, attributes | scan::kAttributeDirectory);
    }

    void AddFile(const std::string& path, unsigned attributes = kAttributeArchive)
    {
        AddEntry(path, attributes);
    }

    // A shortcut file whose reader yields target.
    void AddShortcut(const std::string& path, const std::string& target)
    {
        AddFile(path);
        SetTarget(path, target);
    }

    // What the reader yields for path (which may be any entry, even a folder).
    void SetTarget(const std::string& path, const std::string& target)
    {
        EXPECT_LE(target.size(), scan::kMaxPathLength) << "a reader never yields more: " << target;
        m_targets[Lower(path)] = target;
    }

    // What the reader says the shortcut recorded of its target's volume.
    void SetRecorded(const std::string& path, unsigned driveType, const std::string& networkPath)
    {
        m_recorded[Lower(path)] = {driveType, networkPath};
    }

    // The bytes the reader checked and keeps for the row.
    void SetBytes(const std::string& path, const std::string& bytes) { m_bytes[Lower(path)] = bytes; }

    // A target that exists outside the tree; the two presence tests can be
    // made to disagree, to show which one the scan asks.
    void AddExisting(const std::string& target, SeenBy seenBy = SeenBy::Both)
    {
        if (seenBy != SeenBy::PifTestOnly)
            m_seenByLinkTest.insert(Lower(target));
        if (seenBy != SeenBy::LinkTestOnly)
            m_seenByPifTest.insert(Lower(target));
    }

    // A target both presence tests fail to test without learning that it
    // is not there (access denied, say): Unverified, with detail.
    void AddUnverifiable(const std::string& target, const std::string& detail)
    {
        m_unverifiable[Lower(target)] = detail;
    }

    void SetDriveType(const std::string& root, unsigned type) { m_driveTypes[Lower(root)] = type; }

    // FindFirst fails for every pattern in this folder.
    void MakeUnreadable(const std::string& folder) { FolderFor(folder).unreadable = true; }

    // A folder entry that leads to another folder (a symbolic link or a
    // junction): its contents are the target's, and so is its identity.
    void AddFolderLink(const std::string& path, const std::string& target)
    {
        AddEntry(path, scan::kAttributeDirectory);
        m_links[Lower(path)] = Lower(target);
    }

    // Lead bytes of code page 932 instead of a single-byte code page.
    bool doubleByteCodePage = false;

    void SetLinkPattern(const std::string& text) { m_linkPattern = text; }

    // Resolving this path throws FakeFailure.
    void ThrowOnResolve(const std::string& path) { m_throwOnResolve = Lower(path); }

    // Runs inside every ResolveShortcut, after the call is logged: lets a
    // test look at the world while the walk is in progress.
    std::function<void(const std::string& shortcutPath)> onResolve;

    std::size_t OpenSearches() const { return m_searches.size(); }

    // ScanFileSystem

    // The dialog's limit: its buffers hold 260 characters with the terminator.
    bool Fits(const std::string& path) override { return path.size() <= scan::kMaxPathLength; }

    Search FindFirst(const std::string& pattern, scan::FindEntry& entry) override
    {
        m_log.Add("FindFirst", pattern);
        CheckFits("FindFirst pattern", pattern);
        const std::string& text = pattern;
        const std::size_t slash = text.find_last_of('\\');
        const std::string folder = slash == std::string::npos ? "" : text.substr(0, slash + 1);
        const std::string namePattern = text.substr(folder.size());

        const auto found = m_folders.find(Key(Canonical(folder)));
        m_searchFailed = found == m_folders.end() || found->second.unreadable;
        if (m_searchFailed)
            return nullptr;

        auto search = std::make_unique<OpenSearch>();
        search->pattern = text;
        std::vector<Entry> candidates;
        if (!IsRoot(folder.empty() ? folder : folder.substr(0, folder.size() - 1))) {
            candidates.push_back({".", scan::kAttributeDirectory});
            candidates.push_back({"..", scan::kAttributeDirectory});
        }
        candidates.insert(candidates.end(), found->second.entries.begin(), found->second.entries.end());
        for (const Entry& candidate : candidates)
            if (MatchesPattern(namePattern, candidate.name))
                search->matches.push_back(candidate);
        if (search->matches.empty())
            return nullptr;

        Fill(entry, search->matches[0]);
        search->next = 1;
        Search handle = search.get();
        m_searches[handle] = std::move(search);
        return handle;
    }

    bool FindNext(Search handle, scan::FindEntry& entry) override
    {
        const auto found = m_searches.find(handle);
        if (found == m_searches.end()) {
            ADD_FAILURE() << "FindNext on a search that is not open";
            return false;
        }
        OpenSearch& search = *found->second;
        m_log.Add("FindNext", search.pattern);
        if (search.next >= search.matches.size())
            return false;
        Fill(entry, search.matches[search.next++]);
        return true;
    }

    void FindClose(Search handle) override
    {
        const auto found = m_searches.find(handle);
        if (found == m_searches.end()) {
            ADD_FAILURE() << "FindClose on a search that is not open";
            return;
        }
        m_log.Add("FindClose", found->second->pattern);
        m_searches.erase(found);
    }

    bool SearchFailed() override { return m_searchFailed; }

    bool FolderIdentity(const std::string& folder, scan::FolderId& id) override
    {
        m_log.Add("FolderIdentity", folder);
        CheckFits("FolderIdentity folder", folder);
        const std::string canonical = Canonical(folder);
        if (m_folders.count(Key(canonical)) == 0)
            return false;
        id.volume = 7;
        id.index = std::hash<std::string>()(canonical);
        return true;
    }

    bool IsLeadByte(unsigned char c) const override
    {
        return doubleByteCodePage && ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC));
    }

    // PathAddBackslashA; it reads the path by character. The result must
    // fit: the caller checks before.
    void AddBackslash(std::string& path) override
    {
        m_log.Add("AddBackslash", path);
        if (path.empty() || scan::EndsWithBackslash(path.c_str(), *this))
            return;
        if (!Fits(path + '\\')) {
            ADD_FAILURE() << "AddBackslash would overflow a " << scan::kPathBuffer
                          << "-character buffer: " << path.size() << " characters";
            return;
        }
        path += '\\';
    }

    scan::Presence LinkTargetPresence(const scan::ShortcutTarget& target) override
    {
        m_log.Add("LinkTargetPresence", target.text);
        return PresenceOf(target.text, m_seenByLinkTest);
    }

    scan::Presence PifTargetPresence(const scan::ShortcutTarget& target) override
    {
        m_log.Add("PifTargetPresence", target.text);
        return PresenceOf(target.text, m_seenByPifTest);
    }

    // As the dialog's: the path cut to 259 characters, then PathStripToRootA:
    // "C:\" from "C:\Apps\x.exe", "\\server\share" from a path on a share, ""
    // from a relative or empty path.
    std::string Root(const std::string& path) override
    {
        const std::string text = path.substr(0, scan::kMaxPathLength);
        std::string root;
        if (text.compare(0, 2, "\\\\") == 0) {
            const std::size_t server = text.find('\\', 2);
            const std::size_t share = server == std::string::npos ? server : text.find('\\', server + 1);
            root = text.substr(0, share);
        } else if (text.size() >= 2 && text[1] == ':') {
            root = text.substr(0, text.size() >= 3 && text[2] == '\\' ? 3 : 2);
        } else if (!text.empty() && text[0] == '\\') {
            root = "\\";
        }
        return root;
    }

    // GetDriveTypeA; a root the machine does not have is DRIVE_NO_ROOT_DIR.
    unsigned DriveType(const std::string& root) override
    {
        m_log.Add("DriveType", root);
        const auto found = m_driveTypes.find(Lower(root));
        return found == m_driveTypes.end() ? kDriveNoRootDir : found->second;
    }

    void ResolveShortcut(const std::string& shortcutPath, scan::ShortcutTarget& target) override
    {
        m_log.Add("ResolveShortcut", shortcutPath);
        CheckFits("shortcut path", shortcutPath);
        target = scan::ShortcutTarget();
        if (onResolve)
            onResolve(shortcutPath);
        if (Lower(shortcutPath) == m_throwOnResolve)
            throw FakeFailure("cannot read " + shortcutPath);
        const auto found = m_targets.find(Lower(shortcutPath));
        if (found != m_targets.end())
            target.text = found->second;
        const auto recorded = m_recorded.find(Lower(shortcutPath));
        if (recorded != m_recorded.end()) {
            target.recordedDrive = recorded->second.first;
            target.networkPath = recorded->second.second;
        }
        const auto bytes = m_bytes.find(Lower(shortcutPath));
        if (bytes != m_bytes.end())
            target.bytes = bytes->second;
    }

    std::string LoadText(unsigned id) override
    {
        if (id == IDS_LINK_PATTERN)
            return m_linkPattern;
        ADD_FAILURE() << "the scan loads no string " << id;
        return "";
    }

private:
    struct Entry {
        std::string name;
        unsigned attributes;
    };
    struct Folder {
        std::vector<Entry> entries;
        bool unreadable = false;
    };
    struct OpenSearch {
        std::string pattern;
        std::vector<Entry> matches;
        std::size_t next = 0;
    };

    // A drive ("C:"), a share ("\\server\share") or the current folder ("").
    static bool IsRoot(const std::string& path)
    {
        if (path.empty() || (path.size() == 2 && path[1] == ':'))
            return true;
        if (path.compare(0, 2, "\\\\") != 0)
            return false;
        const std::size_t server = path.find('\\', 2);
        return server != std::string::npos && path.find('\\', server + 1) == std::string::npos;
    }

    static std::string Key(const std::string& folder) { return folder.empty() ? "" : Lower(folder) + "\\"; }

    // The path with every folder link on it followed, lower case, without a
    // trailing backslash.
    std::string Canonical(std::string path) const
    {
        if (!path.empty() && path.back() == '\\')
            path.pop_back();
        if (m_links.empty())  // the split below is by byte, fit for ASCII trees only
            return Lower(path);
        std::string done;
        std::size_t start = 0;
        while (start <= path.size()) {
            std::size_t end = path.find('\\', start);
            if (end == std::string::npos)
                end = path.size();
            done += (done.empty() && start == 0 ? "" : "\\") + Lower(path.substr(start, end - start));
            const auto link = m_links.find(done);
            if (link != m_links.end())
                done = link->second;
            start = end + 1;
        }
        return done;
    }

    Folder& FolderFor(const std::string& path)
    {
        const std::string key = Key(path);
        const auto found = m_folders.find(key);
        if (found != m_folders.end())
            return found->second;
        if (!IsRoot(path))
            AddEntry(path, scan::kAttributeDirectory);
        return m_folders[key];
    }

    void AddEntry(const std::string& path, unsigned attributes)
    {
        const std::size_t slash = path.find_last_of('\\');
        const std::string parent = slash == std::string::npos ? "" : path.substr(0, slash);
        const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
        ASSERT_LE(name.size(), scan::kMaxPathLength) << "no name is that long";
        Folder& folder = FolderFor(parent);
        for (Entry& entry : folder.entries) {
            if (Lower(entry.name) == Lower(name)) {
                entry.attributes = attributes;
                return;
            }
        }
        folder.entries.push_back({name, attributes});
    }

    scan::Presence PresenceOf(const std::string& target, const std::set<std::string>& seen) const
    {
        const auto unverifiable = m_unverifiable.find(Lower(target));
        if (unverifiable != m_unverifiable.end())
            return {scan::Verdict::Unverified, unverifiable->second};
        return {Exists(target, seen) ? scan::Verdict::Present : scan::Verdict::Missing, std::string()};
    }

    bool Exists(const std::string& path, const std::set<std::string>& seen) const
    {
        CheckFits("presence test of", path);
        if (path.empty())
            return false;
        if (seen.count(Lower(path)) != 0)
            return true;
        const std::size_t slash = path.find_last_of('\\');
        if (slash == std::string::npos)
            return false;
        const auto folder = m_folders.find(Key(path.substr(0, slash)));
        if (folder == m_folders.end())
            return false;
        for (const Entry& entry : folder->second.entries)
            if (Lower(entry.name) == Lower(path.substr(slash + 1)))
                return true;
        return false;
    }

    // Every field is set: an entry is reused from one call to the next.
    static void Fill(scan::FindEntry& entry, const Entry& from)
    {
        entry.name = from.name;
        entry.attributes = from.attributes;
        entry.exact = true;
    }

    static void CheckFits(const char* what, const std::string& text)
    {
        EXPECT_LE(text.size(), scan::kMaxPathLength)
            << what << " does not fit a " << scan::kPathBuffer << "-character buffer: " << text;
    }

    CallLog& m_log;
    std::map<std::string, Folder> m_folders;
    std::map<std::string, std::string> m_links;
    bool m_searchFailed = false;
    std::map<std::string, std::string> m_targets;
    std::map<std::string, std::pair<unsigned, std::string>> m_recorded;
    std::map<std::string, std::string> m_bytes;
    std::set<std::string> m_seenByLinkTest;
    std::set<std::string> m_seenByPifTest;
    std::map<std::string, std::string> m_unverifiable;  // target: the test's words
    std::map<std::string, unsigned> m_driveTypes;
    std::map<Search, std::unique_ptr<OpenSearch>> m_searches;
    std::string m_linkPattern = "*.lnk";
    std::string m_throwOnResolve;
};

// One row of the results list as the list control stores it.
struct FakeRow {
    std::string item;   // column 0
    std::string value;  // column 1
    int image = -1;
    std::intptr_t data = 0;
    scan::Presence presence;  // as RowPresence gave it
};

// The main dialog as the scan sees it: child windows in window order, a
// results list, the wait cursor and the controls holding the options.
class FakeScanView : public scan::ScanView {
public:
    explicit FakeScanView(CallLog& log, int childCount = 4) : m_log(log), m_children(childCount)
    {
        for (int i = 0; i < childCount; ++i)
            m_children[i].id = 1001 + i;
    }

    // The list is destroyed with the dialog and reports each row as it goes.
    ~FakeScanView() override
    {
        for (FakeRow& row : m_rows)
            Notify(row);
    }

    // What the controls hold when ReadControls is called.
    scan::ScanOptions controls;

    // What the walk passed over, as "long:path", "open:path" or "inexact:path".
    std::vector<std::string> notScanned;

    bool throwOnReadControls = false;
    // Failures of the list, to drive the row builder's error paths.
    bool refuseInsert = false;
    bool throwOnInsert = false;
    bool refuseData = false;

    const std::vector<FakeRow>& Rows() const { return m_rows; }

    std::vector<std::string> Items() const
    {
        std::vector<std::string> items;
        for (const FakeRow& row : m_rows)
            items.push_back(row.item);
        return items;
    }

    // Every item data value offered through SetRowData, accepted or not.
    const std::vector<std::intptr_t>& OfferedData() const { return m_offered; }

    // LVM_DELETEITEM: the later rows move up by one.
    void DeleteRow(int index)
    {
        ASSERT_GE(index, 0);
        ASSERT_LT(static_cast<std::size_t>(index), m_rows.size());
        m_log.Add("DeleteRow", std::to_string(index));
        Notify(m_rows[index]);
        m_rows.erase(m_rows.begin() + index);
    }

    // Takes a row's item data away so that a test can hand it to the handler
    // itself; the row then carries none.
    std::intptr_t TakeRowData(int index)
    {
        const std::intptr_t data = m_rows.at(index).data;
        m_rows.at(index).data = 0;
        return data;
    }

    int EnabledChildren() const
    {
        int enabled = 0;
        for (const Child& child : m_children)
            enabled += child.enabled ? 1 : 0;
        return enabled;
    }
    int ChildCount() const { return static_cast<int>(m_children.size()); }
    int WaitCursorDepth() const { return m_waitDepth; }

    // ScanView

    Window FirstChild() override { return m_children.empty() ? nullptr : &m_children[0]; }

    Window NextSibling(Window child) override
    {
        const std::size_t index = IndexOf(child);
        return index + 1 < m_children.size() ? &m_children[index + 1] : nullptr;
    }

    void EnableWindow(Window child, bool enable) override
    {
        Child& c = m_children[IndexOf(child)];
        m_log.Add(enable ? "Enable" : "Disable", std::to_string(c.id));
        c.enabled = enable;
    }

    void DeleteAllRows() override
    {
        m_log.Add("DeleteAllRows", std::to_string(m_rows.size()));
        for (FakeRow& row : m_rows)
            Notify(row);
        m_rows.clear();
    }

    int RowCount() override { return static_cast<int>(m_rows.size()); }

    int InsertRow(int index, const char* text, int image) override
    {
        m_log.Add("InsertRow", text);
        EXPECT_LE(std::strlen(text), scan::kMaxPathLength) << "row text longer than a path: " << text;
        if (throwOnInsert)
            throw FakeFailure("the list cannot take the row");
        if (refuseInsert || index < 0)
            return -1;
        const std::size_t at = std::min(static_cast<std::size_t>(index), m_rows.size());
        FakeRow row;
        row.item = text;
        row.image = image;
        m_rows.insert(m_rows.begin() + at, row);
        return static_cast<int>(at);
    }

    void SetRowText(int row, int column, const char* text) override
    {
        m_log.Add("SetRowText", std::to_string(row) + "," + std::to_string(column));
        if (!IsRow(row))
            return;
        if (column == 0)
            m_rows[row].item = text;
        else if (column == 1)
            m_rows[row].value = text;
        else
            ADD_FAILURE() << "the list has two columns, not " << column + 1;
    }

    bool SetRowData(int row, std::intptr_t data) override
    {
        m_log.Add("SetRowData", std::to_string(row));
        m_offered.push_back(data);
        if (refuseData || !IsRow(row))
            return false;
        m_rows[row].data = data;
        return true;
    }

    void RepaintList() override { m_log.Add("RepaintList", ""); }

    void RowPresence(int row, const scan::Presence& presence) override
    {
        m_log.Add("RowPresence", std::to_string(row));
        if (IsRow(row))
            m_rows[row].presence = presence;
    }

    void BeginWaitCursor() override
    {
        m_log.Add("BeginWaitCursor", "");
        ++m_waitDepth;
    }

    void EndWaitCursor() override
    {
        m_log.Add("EndWaitCursor", "");
        EXPECT_GT(m_waitDepth, 0) << "wait cursor ended more often than begun";
        --m_waitDepth;
    }

    scan::ScanOptions ReadControls() override
    {
        m_log.Add("ReadControls", controls.scanFrom);
        if (throwOnReadControls)
            throw FakeFailure("out of memory reading the controls");
        return controls;
    }

    void NotScanned(const std::string& path, scan::NotScannedReason reason) override
    {
        const char* tag = "";
        switch (reason) {
        case scan::NotScannedReason::PathTooLong:
            tag = "long:";
            break;
        case scan::NotScannedReason::CannotOpen:
            tag = "open:";
            break;
        case scan::NotScannedReason::NameNotExact:
            tag = "inexact:";
            break;
        }
        notScanned.push_back(tag + path);
    }

private:
    struct Child {
        int id = 0;
        bool enabled = true;
    };

    std::size_t IndexOf(Window child) const
    {
        for (std::size_t i = 0; i < m_children.size(); ++i)
            if (child == &m_children[i])
                return i;
        ADD_FAILURE() << "not a child window of the dialog";
        return m_children.size();
    }

    bool IsRow(int row) const
    {
        const bool ok = row >= 0 && static_cast<std::size_t>(row) < m_rows.size();
        EXPECT_TRUE(ok) << "no row " << row << " in a list of " << m_rows.size();
        return ok;
    }

    // LVN_DELETEITEM: the handler gets a copy of the row's item data in the
    // notification record; the list's own field is not touched by it.
    static void Notify(FakeRow& row)
    {
        std::intptr_t lParam = row.data;
        EXPECT_EQ(scan::CScanEngine::OnDeleteitemList(lParam), 0);
        EXPECT_EQ(lParam, 0) << "the handler leaves the record's item data cleared";
        row.data = 0;  // the row is gone; keep the fake from reporting it twice
    }

    CallLog& m_log;
    std::vector<Child> m_children;
    std::vector<FakeRow> m_rows;
    std::vector<std::intptr_t> m_offered;
    int m_waitDepth = 0;
};

}  // namespace fake

#endif
