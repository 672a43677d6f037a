// A fresh folder under the temporary folder, removed with all it holds when
// the owner goes away.
#ifndef VELTMOR_TESTS_WINE_TEMPFOLDER_H
#define VELTMOR_TESTS_WINE_TEMPFOLDER_H

#include <string>

namespace wintest {

class CTempFolder {
public:
    // prefix: the first letters of the folder's name; keep it short, some
    // tests need the room below MAX_PATH.
    explicit CTempFolder(const char* prefix = "vt");
    ~CTempFolder();

    CTempFolder(const CTempFolder&) = delete;
    CTempFolder& operator=(const CTempFolder&) = delete;

    // Empty when the folder could not be made.
    const std::string& Path() const { return m_path; }  // ends with a backslash
    std::string operator/(const std::string& name) const { return m_path + name; }

    // Removes a tree, also one whose paths exceed MAX_PATH and whose files
    // are read-only. True when nothing is left.
    static bool RemoveTree(const std::string& path);

private:
    std::string m_path;
};

}  // namespace wintest

#endif
