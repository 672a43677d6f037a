// A synthetic Start Menu for the benchmark: real shortcuts made by the shell
// once, then copied byte for byte to every place in the tree.
#ifndef VELTMOR_BENCH_BENCHTREE_H
#define VELTMOR_BENCH_BENCHTREE_H

#include <functional>
#include <string>
#include <vector>

class CBenchTree {
public:
    static constexpr int kPerFolder = 50;
    static constexpr int kSubFolders = 8;  // per folder, breadth first

    // Makes count shortcuts under base ("...\"): base\targets holds what the
    // good ones point at, base\tree is the tree to scan. Every fourth
    // shortcut points at a missing file on the same fixed drive.
    bool Build(const std::string& base, int count);

    const std::string& TreeRoot() const { return m_tree; }
    int Folders() const { return static_cast<int>(m_folderPaths.size()); }
    // Every folder of the tree ("...\"), the tree first.
    const std::vector<std::string>& FolderPaths() const { return m_folderPaths; }
    int Broken() const { return m_broken; }

    // The target of shortcut number i: the side list of the bare walk.
    const std::string& TargetOf(int i) const { return m_targets[i]; }
    int Count() const { return static_cast<int>(m_targets.size()); }

    // The number a shortcut's file name carries, or -1.
    static int NumberOf(const char* fileName);

    // Every file below folder ("...\"), depth first, one "*.*" search per
    // folder: visit(its folder, its name).
    static void Walk(const std::string& folder,
                     const std::function<void(const std::string&, const char*)>& visit);
    // The same for the files of folder alone: its sub-folders are skipped.
    static void WalkFolder(const std::string& folder,
                           const std::function<void(const std::string&, const char*)>& visit);

private:
    std::string m_tree;
    std::vector<std::string> m_folderPaths;
    int m_broken = 0;
    std::vector<std::string> m_targets;
};

#endif
