#include "ScanCommand.h"

#include <algorithm>
#include <cstring>

#include "CollectingScanView.h"
#include "RowFormat.h"
#include "scan/PathText.h"
#include "scan/ScanEngine.h"

namespace cli {

namespace {

const char kProgram[] = "veltmor-scan: ";

std::string Quoted(const std::string& path)
{
    return "\"" + path + "\"";
}

}  // namespace

CScanCommand::CScanCommand(scan::ScanFileSystem& fileSystem, ScanHost& host)
    : m_fileSystem(fileSystem), m_host(host)
{
}

int CScanCommand::Run(const std::vector<std::string>& args)
{
    const ScanArguments arguments = ScanArguments::Parse(args);
    switch (arguments.action) {
    case ScanArguments::Action::Refuse:
        return Refuse(arguments.problem);
    case ScanArguments::Action::Help:
        return m_host.WriteOutput(ScanArguments::Usage(), ScanHost::Encoding::Ansi) ? kExitNoneMissing
                                                                                    : kExitRefused;
    case ScanArguments::Action::Version:
        return m_host.WriteOutput(VELTMOR_VERSION "\r\n", ScanHost::Encoding::Ansi) ? kExitNoneMissing
                                                                                    : kExitRefused;
    case ScanArguments::Action::Scan:
        break;
    }

    std::vector<std::string> folders = arguments.folders;
    if (folders.empty()) {
        const std::string startMenu = m_host.StartMenuFolder();
        if (startMenu.empty())
            return Refuse("cannot find your Start Menu folder; name a folder to scan");
        folders.push_back(startMenu);
    }
    // Every folder is checked before any is scanned: a script gets either
    // the whole answer or none.
    for (const std::string& folder : folders) {
        const std::string problem = CheckFolder(folder);
        if (!problem.empty())
            return Refuse(problem);
    }

    const std::vector<ScanRow> rows = Scan(folders, arguments.ignoreRemovable, arguments.displayAll);
    const ScanHost::Encoding encoding =
        arguments.format == OutputFormat::Json ? ScanHost::Encoding::Utf8 : ScanHost::Encoding::Ansi;
    if (!m_host.WriteOutput(Format(rows, arguments.format), encoding))
        return Refuse("cannot write the output");

    for (const ScanRow& row : rows)
        if (!row.present)
            return kExitSomeMissing;
    return kExitNoneMissing;
}

std::vector<ScanRow> CScanCommand::Scan(const std::vector<std::string>& folders, bool ignoreRemovable,
                                        bool displayAll)
{
    CCollectingScanView view;
    scan::CScanEngine engine(m_fileSystem, view);
    std::vector<ScanRow> rows;
    for (const std::string& folder : folders) {
        view.options.scanFrom = folder;
        view.options.ignoreRemovable = ignoreRemovable;
        view.options.displayAll = displayAll;
        engine.OnScan();
        for (const CCollectingScanView::Row& listed : view.Rows()) {
            ScanRow row;
            row.shortcut = listed.shortcut;
            row.target = listed.target;
            row.present = listed.present;
            row.driveType = DriveTypeOf(listed.target);
            rows.push_back(std::move(row));
        }
    }
    return rows;
}

int CScanCommand::Refuse(const std::string& problem)
{
    m_host.WriteError(kProgram + problem);
    return kExitRefused;
}

std::string CScanCommand::CheckFolder(const std::string& folder)
{
    // The scan would walk nothing rather than cut the path: say so instead.
    if (folder.size() > scan::kMaxPathLength || !scan::RoomForBackslash(folder.c_str(), m_fileSystem))
        return "folder path too long (" + std::to_string(folder.size()) + " characters; at most " +
               std::to_string(scan::kMaxPathLength) + " with its final backslash): " + Quoted(folder);
    if (!m_host.IsFolder(folder))
        return "no such folder: " + Quoted(folder);
    return std::string();
}

unsigned CScanCommand::DriveTypeOf(const std::string& target)
{
    // As the display filter does it: the target cut to a path's length,
    // stripped to its root.
    char root[scan::kPathBuffer];
    const std::size_t n = std::min(target.size(), scan::kMaxPathLength);
    std::memcpy(root, target.data(), n);
    root[n] = '\0';
    m_fileSystem.StripToRoot(root);
    const auto known = m_driveTypes.find(root);
    if (known != m_driveTypes.end())
        return known->second;
    return m_driveTypes[root] = m_fileSystem.DriveType(root);
}

std::string CScanCommand::Format(const std::vector<ScanRow>& rows, OutputFormat format)
{
    switch (format) {
    case OutputFormat::Csv:
        return FormatCsv(rows);
    case OutputFormat::Json:
        return FormatJson(rows, [this](const std::string& ansi) { return m_host.AnsiToUtf8(ansi); });
    case OutputFormat::Text:
        break;
    }
    return FormatText(rows);
}

}  // namespace cli
