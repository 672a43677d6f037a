#include "BenchTree.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "TestFiles.h"

namespace {

constexpr int kGoodTemplates = 3;

}  // namespace

bool CBenchTree::Build(const std::string& base, int count)
{
    const std::string targets = base + "targets\\";
    const std::string templates = base + "templates\\";
    m_tree = base + "tree\\";
    if (!CreateDirectoryA(targets.c_str(), NULL) || !CreateDirectoryA(templates.c_str(), NULL) ||
        !CreateDirectoryA(m_tree.c_str(), NULL))
        return false;

    // The templates: three good shortcuts and one whose target was deleted
    // after the shortcut was made, as happens when a program is removed.
    std::string good[kGoodTemplates], goodTarget[kGoodTemplates];
    for (int t = 0; t < kGoodTemplates; ++t) {
        goodTarget[t] = targets + "tool" + std::to_string(t) + ".exe";
        good[t] = templates + "good" + std::to_string(t) + ".lnk";
        if (!wintest::MakeFile(goodTarget[t]) || FAILED(wintest::WriteShortcut(good[t], goodTarget[t])))
            return false;
    }
    const std::string brokenTarget = targets + "removed.exe";
    const std::string broken = templates + "broken.lnk";
    if (!wintest::MakeFile(brokenTarget) || FAILED(wintest::WriteShortcut(broken, brokenTarget)) ||
        !DeleteFileA(brokenTarget.c_str()))
        return false;

    // Folder k sits in folder (k - 1) / kSubFolders; folder 0 is the tree.
    std::vector<std::string>& folders = m_folderPaths;
    folders.assign((count + kPerFolder - 1) / kPerFolder, std::string());
    folders[0] = m_tree;
    for (std::size_t k = 1; k < folders.size(); ++k) {
        folders[k] = folders[(k - 1) / kSubFolders] + "Group " + std::to_string(k) + "\\";
        if (!CreateDirectoryA(folders[k].c_str(), NULL))
            return false;
    }

    m_targets.assign(count, std::string());
    m_broken = 0;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "Program %05d.lnk", i);
        const std::string path = folders[i / kPerFolder] + name;
        const bool isBroken = i % 4 == 3;
        const std::string& from = isBroken ? broken : good[i % kGoodTemplates];
        if (!CopyFileA(from.c_str(), path.c_str(), FALSE))
            return false;
        m_targets[i] = isBroken ? brokenTarget : goodTarget[i % kGoodTemplates];
        m_broken += isBroken ? 1 : 0;
    }
    return true;
}

int CBenchTree::NumberOf(const char* fileName)
{
    static const char kPrefix[] = "Program ";
    if (std::strncmp(fileName, kPrefix, sizeof kPrefix - 1) != 0)
        return -1;
    return std::atoi(fileName + sizeof kPrefix - 1);
}

namespace {

void Visit(const std::string& folder, bool recurse, const std::function<void(const std::string&, const char*)>& visit)
{
    WIN32_FIND_DATAA data;
    const HANDLE search = FindFirstFileA((folder + "*.*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const bool dots = std::strcmp(data.cFileName, ".") == 0 || std::strcmp(data.cFileName, "..") == 0;
        if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            visit(folder, data.cFileName);
        else if (recurse && !dots)
            Visit(folder + data.cFileName + "\\", true, visit);
    } while (FindNextFileA(search, &data));
    FindClose(search);
}

}  // namespace

void CBenchTree::Walk(const std::string& folder, const std::function<void(const std::string&, const char*)>& visit)
{
    Visit(folder, true, visit);
}

void CBenchTree::WalkFolder(const std::string& folder,
                            const std::function<void(const std::string&, const char*)>& visit)
{
    Visit(folder, false, visit);
}
