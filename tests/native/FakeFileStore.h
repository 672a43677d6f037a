// The quarantine's file store in memory: files by plain full path, folders,
// and paths that are links. Every walk from a root stops at the first link
// below it, as the real store's does, and counts the files it opened.
#ifndef VELTMOR_TESTS_NATIVE_FAKEFILESTORE_H
#define VELTMOR_TESTS_NATIVE_FAKEFILESTORE_H

#include <map>
#include <set>
#include <string>
#include <vector>

#include "cli/quarantine/Mover.h"
#include "cli/quarantine/QuarantineLayout.h"
#include "scan/LinkStructure.h"

namespace fake {

class FakeFileStore : public cli::Mover {
public:
    std::map<std::string, std::string> files;
    std::set<std::string> folders;
    std::set<std::string> links;
    std::map<std::string, std::size_t> opened;  // walks that reached each file

    void Put(const std::string& path, const std::string& bytes)
    {
        files[path] = bytes;
        for (std::string at = cli::ParentOf(path); !at.empty(); at = cli::ParentOf(at))
            folders.insert(at);
    }

    std::string FullPath(const std::string& path) override { return path; }
    bool Exists(const std::string& path) override { return files.count(path) || folders.count(path); }
    bool IsFolder(const std::string& path) override { return folders.count(path) > 0; }
    bool MakeFolders(const std::string& folder) override
    {
        for (std::string at = folder; !at.empty(); at = cli::ParentOf(at))
            folders.insert(at);
        return true;
    }

    Moved Move(const std::string& fromRoot, const std::string& from, const std::string& toRoot, const std::string& to,
               const std::string& digest, Transfer) override
    {
        const Moved found = Existing(fromRoot, from, digest);
        if (found != Moved::Yes)
            return found;
        const Moved placed = WriteNew(toRoot, to, files[from]);
        if (placed == Moved::Yes)
            files.erase(from);
        return placed;
    }
    Moved RewriteIfSame(const std::string& root, const std::string& path, const std::string& digest,
                        const std::string& bytes) override
    {
        const Moved found = Existing(root, path, digest);
        if (found == Moved::Yes)
            files[path] = bytes;
        return found;
    }
    Moved WriteNew(const std::string& root, const std::string& path, const std::string& bytes,
                   Flush = Flush::Now) override
    {
        if (!Reach(root, path, true))
            return m_stopped.empty() ? Moved::Failed : Moved::Link;
        return files.emplace(path, bytes).second ? Moved::Yes : Moved::Taken;
    }
    Moved RemoveIfSame(const std::string& root, const std::string& path, const std::string& digest) override
    {
        const Moved found = Existing(root, path, digest);
        if (found == Moved::Yes)
            files.erase(path);
        return found;
    }
    Read ReadBelow(const std::string& root, const std::string& path, std::size_t limit, std::string& bytes) override
    {
        bytes.clear();
        if (!Reach(root, path, false))
            return m_stopped.empty() ? Read::Failed : Read::Link;
        const auto file = files.find(path);
        if (file == files.end())
            return Read::Absent;
        if (file->second.size() > limit)
            return Read::TooLarge;
        bytes = file->second;
        return Read::Done;
    }
    std::string StoppedAt() override { return m_stopped; }
    bool Settle() override { return true; }  // its moves are whole at once

    void ListFiles(const std::string& folder, std::vector<std::string>& found, std::vector<std::string>&) override
    {
        found.clear();
        for (const auto& file : files)
            if (cli::IsWithin(file.first, folder) && file.first != folder)
                found.push_back(file.first.substr(folder.size() + 1));
    }
    void RemoveEmptyFolders(const std::string&) override {}
    Read ReadFile(const std::string& path, std::string& bytes) override
    {
        return ReadBelow(cli::ParentOf(path), path, static_cast<std::size_t>(-1), bytes);
    }
    std::string LinkBelow(const std::string& root, const std::string& path) override
    {
        return Reach(root, path, false) ? std::string() : m_stopped;
    }
    bool Lock(const std::string&) override { return true; }
    bool Append(const std::string& path, const std::string& text) override
    {
        files[path] += text;
        return true;
    }
    bool Remove(const std::string& path) override
    {
        files.erase(path);
        return true;
    }
    void RemoveFolder(const std::string& folder) override { folders.erase(folder); }
    bool ReplaceFile(const std::string& path, const std::string& bytes) override
    {
        files[path] = bytes;
        return true;
    }
    std::string LastError() override { return "The system cannot find the file specified."; }
    std::string UtcTime() override { return "2026-12-08T09:00:00Z"; }
    std::string ComputerName() override { return "PC-1"; }

private:
    // The file at path, reached from root, while its bytes give digest ("": any).
    Moved Existing(const std::string& root, const std::string& path, const std::string& digest)
    {
        if (!Reach(root, path, false))
            return m_stopped.empty() ? Moved::Failed : Moved::Link;
        const auto file = files.find(path);
        if (file == files.end())
            return Moved::Failed;
        return digest.empty() || scan::SameDigest(file->second, digest) ? Moved::Yes : Moved::Changed;
    }

    // The walk from root down to path: false at the first link (named in
    // m_stopped) or when path is not below root.
    bool Reach(const std::string& root, const std::string& path, bool make)
    {
        m_stopped.clear();
        if (!cli::IsWithin(path, root))
            return false;
        for (std::string at = cli::ParentOf(path); at.size() > root.size(); at = cli::ParentOf(at))
            if (links.count(at))
                m_stopped = at;
        if (!m_stopped.empty() || links.count(path)) {
            m_stopped = m_stopped.empty() ? path : m_stopped;
            return false;
        }
        if (make)
            MakeFolders(cli::ParentOf(path));
        ++opened[path];
        return true;
    }

    std::string m_stopped;
};

}  // namespace fake

#endif
