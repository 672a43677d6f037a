#include "ScanProgress.h"

namespace cli {

CScanProgress::CScanProgress(scan::ScanFileSystem& fileSystem, ScanHost& host)
    : m_fileSystem(fileSystem), m_host(host), m_start(host.Milliseconds())
{
}

CScanProgress::~CScanProgress()
{
    Finish();
}

void CScanProgress::Finish()
{
    if (m_showing)
        m_host.ShowProgress(std::string());
    m_showing = false;
}

scan::ScanFileSystem::Search CScanProgress::FindFirst(const std::string& pattern, scan::FindEntry& entry)
{
    // The walk searches each folder with a few patterns in a row, and a
    // pattern's last part is plain ASCII ("*.lnk"), so its last backslash
    // is a real one even in a double-byte code page.
    const std::size_t slash = pattern.rfind('\\');
    const std::string folder = slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1);
    if (m_folders == 0 || folder != m_folder) {
        ++m_folders;
        m_folder = folder;
    }
    Tick();
    return m_fileSystem.FindFirst(pattern, entry);
}

void CScanProgress::ResolveShortcut(const std::string& shortcutPath, scan::ShortcutTarget& target)
{
    CountShortcut();
    m_fileSystem.ResolveShortcut(shortcutPath, target);
}

void CScanProgress::CountShortcut()
{
    ++m_shortcuts;
    Tick();
}

void CScanProgress::Tick()
{
    const std::uint64_t now = m_host.Milliseconds();
    if (now - m_start < kDelayMs || (m_showing && now - m_shown < kEveryMs))
        return;
    m_host.ShowProgress("scanning: " + std::to_string(m_folders) + " folders, " + std::to_string(m_shortcuts) +
                        " shortcuts; " + m_folder);
    m_showing = true;
    m_shown = now;
}

}  // namespace cli
