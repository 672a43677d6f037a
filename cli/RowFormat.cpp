#include "RowFormat.h"

#include <algorithm>
#include <cstring>

#include <nlohmann/json.hpp>

namespace cli {

namespace {

const char* const kHeadings[] = {"Status", "Drive", "Reason", "Shortcut", "Target", "Location", "Profile"};
constexpr std::size_t kColumns = sizeof kHeadings / sizeof kHeadings[0];
constexpr std::size_t kColumnsWithoutPlaces = kColumns - 2;

struct Cells {
    const char* text[kColumns];
    std::string reason;  // with the system's words, for an unverified row
};

Cells CellsOf(const ScanRow& row)
{
    Cells cells{{row.StatusName(), row.DriveTypeName(), row.ReasonName(), row.shortcut.c_str(), row.target.c_str(),
                 row.location.c_str(), row.profile.c_str()},
                std::string()};
    if (row.unverified && !row.detail.empty()) {
        cells.reason = std::string(row.ReasonName()) + ": " + row.detail;
        cells.text[2] = cells.reason.c_str();
    }
    return cells;
}

// Characters, not bytes: a UTF-8 name takes one column per character.
std::size_t Width(const char* text)
{
    std::size_t n = 0;
    for (; *text; ++text)
        n += (static_cast<unsigned char>(*text) & 0xC0) != 0x80 ? 1 : 0;
    return n;
}

void AppendLine(std::string& out, const Cells& cells, const std::size_t (&widths)[kColumns], std::size_t columns)
{
    // Empty cells at the end are left out, so that no line ends in padding.
    std::size_t used = columns;
    while (used > 0 && cells.text[used - 1][0] == '\0')
        --used;
    for (std::size_t c = 0; c < used; ++c) {
        out += cells.text[c];
        if (c + 1 < used)
            out.append(widths[c] - Width(cells.text[c]) + 2, ' ');
    }
    out += "\r\n";
}

void AppendCsvField(std::string& out, const std::string& field)
{
    if (field.find_first_of(",\"\r\n") == std::string::npos) {
        out += field;
        return;
    }
    out += '"';
    for (char c : field) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

}  // namespace

std::string FormatText(const std::vector<ScanRow>& rows, std::size_t notScanned, bool places)
{
    const std::size_t columns = places ? kColumns : kColumnsWithoutPlaces;
    std::size_t missing = 0;
    for (const ScanRow& row : rows)
        missing += row.CountsAsBroken() ? 1 : 0;

    std::string out;
    if (!rows.empty()) {
        std::size_t widths[kColumns];
        for (std::size_t c = 0; c < kColumns; ++c)
            widths[c] = std::strlen(kHeadings[c]);
        for (const ScanRow& row : rows) {
            const Cells cells = CellsOf(row);
            for (std::size_t c = 0; c < kColumns; ++c)
                widths[c] = std::max(widths[c], Width(cells.text[c]));
        }
        Cells headings{};
        std::copy(std::begin(kHeadings), std::end(kHeadings), headings.text);
        AppendLine(out, headings, widths, columns);
        for (const ScanRow& row : rows) {
            AppendLine(out, CellsOf(row), widths, columns);
            if (!row.candidate.empty())
                out += "    -> " + row.candidate + " (" + GradeName(row.grade) + ": " + row.evidence + ")\r\n";
        }
    }
    out += std::to_string(rows.size()) + (rows.size() == 1 ? " shortcut" : " shortcuts") + " listed, " +
           std::to_string(missing) + " missing";
    if (notScanned > 0)
        out += ", " + std::to_string(notScanned) + " not scanned";
    out += "\r\n";
    return out;
}

std::string FormatCsv(const std::vector<ScanRow>& rows, const std::vector<NotScannedPath>& notScanned,
                      bool suggestions)
{
    std::string out = suggestions ? "shortcut,target,status,drive,reason,location,profile,detail,candidate,grade,"
                                    "evidence,kind\r\n"
                                  : "shortcut,target,status,drive,reason,location,profile,detail,kind\r\n";
    const ScanRow none;
    const auto line = [&out, suggestions](const std::string& shortcut, const std::string& target, const char* status,
                                          const char* drive, const char* reason, const std::string& location,
                                          const std::string& profile, const std::string& detail,
                                          const ScanRow& suggested, const char* kind) {
        AppendCsvField(out, shortcut);
        out += ',';
        AppendCsvField(out, target);
        out += std::string(",") + status + ',' + drive + ',' + reason + ',';
        AppendCsvField(out, location);
        out += ',';
        AppendCsvField(out, profile);
        out += ',';
        AppendCsvField(out, detail);
        if (suggestions) {
            out += ',';
            AppendCsvField(out, suggested.candidate);
            out += std::string(",") + GradeName(suggested.grade) + ',';
            AppendCsvField(out, suggested.evidence);
        }
        out += ',';
        out += kind;
        out += "\r\n";
    };
    for (const ScanRow& row : rows)
        line(row.shortcut, row.target, row.StatusName(), row.DriveTypeName(), row.ReasonName(), row.location,
             row.profile, row.detail, row, row.KindName());
    for (const NotScannedPath& skipped : notScanned)
        line(skipped.path, std::string(), "not-scanned", "", skipped.ReasonName(), std::string(), std::string(),
             skipped.Words(), none, "");
    return out;
}

namespace {

nlohmann::ordered_json RowsJson(const std::vector<ScanRow>& rows, const std::vector<NotScannedPath>& notScanned,
                                bool suggestions)
{
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const ScanRow& row : rows) {
        nlohmann::ordered_json object;
        object["shortcut"] = row.shortcut;
        object["target"] = row.target;
        object["status"] = row.StatusName();
        object["drive"] = row.DriveTypeName();
        if (row.present)
            object["reason"] = nullptr;
        else
            object["reason"] = row.ReasonName();
        object["location"] = row.location;
        object["profile"] = row.profile;
        if (row.unverified || !row.detail.empty())
            object["detail"] = row.detail;
        else
            object["detail"] = nullptr;
        if (suggestions) {
            const bool found = !row.candidate.empty();
            object["candidate"] = found ? nlohmann::ordered_json(row.candidate) : nlohmann::ordered_json();
            object["grade"] = found ? nlohmann::ordered_json(GradeName(row.grade)) : nlohmann::ordered_json();
            object["evidence"] = found ? nlohmann::ordered_json(row.evidence) : nlohmann::ordered_json();
        }
        object["kind"] = row.KindName();
        list.push_back(std::move(object));
    }
    for (const NotScannedPath& skipped : notScanned) {
        nlohmann::ordered_json object;
        object["shortcut"] = skipped.path;
        object["target"] = "";
        object["status"] = "not-scanned";
        object["drive"] = nullptr;
        object["reason"] = skipped.ReasonName();
        object["location"] = nullptr;
        object["profile"] = nullptr;
        object["detail"] = skipped.Words();
        if (suggestions)
            object["candidate"] = object["grade"] = object["evidence"] = nullptr;
        object["kind"] = nullptr;
        list.push_back(std::move(object));
    }
    return list;
}

// Text that is not UTF-8 must not end the program: such bytes come out as
// U+FFFD.
std::string Dump(const nlohmann::ordered_json& json, int indent)
{
    return json.dump(indent, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

// Whole UTF-8 characters of text, at most bytes of them.
std::size_t CutPoint(const std::string& text, std::size_t bytes)
{
    if (text.size() <= bytes)
        return text.size();
    while (bytes > 0 && (static_cast<unsigned char>(text[bytes]) & 0xC0) == 0x80)
        --bytes;
    return bytes;
}

}  // namespace

std::string FormatJson(const std::vector<ScanRow>& rows, const std::vector<NotScannedPath>& notScanned,
                       bool suggestions)
{
    return Dump(RowsJson(rows, notScanned, suggestions), 2);
}

std::string FormatReport(const ReportHeader& header, const std::vector<ScanRow>& rows,
                         const std::vector<NotScannedPath>& notScanned)
{
    nlohmann::ordered_json report;
    report["veltmor"] = "scan-report";
    report["schema"] = kReportSchema;
    report["version"] = header.version;
    report["machine"] = header.machine;
    report["user"] = header.user;
    report["time"] = header.time;
    nlohmann::ordered_json& options = report["options"];
    options["all"] = header.all;
    options["includeRemovable"] = header.includeRemovable;
    options["locations"] = header.locations;
    options["allProfiles"] = header.allProfiles;
    options["folders"] = header.folders;
    if (header.vanished.taken)
        options["snapshot"] = true;
    report["notes"] = header.notes;
    if (header.vanished.taken) {
        nlohmann::ordered_json vanished;
        vanished["count"] = header.vanished.count;
        vanished["since"] = header.vanished.since;
        vanished["items"] = nlohmann::ordered_json::array();
        for (const VanishedShortcut& item : header.vanished.items)
            vanished["items"].push_back({{"shortcut", item.shortcut}, {"target", item.target},
                                         {"lastSeen", item.lastSeen}, {"location", item.location},
                                         {"profile", item.profile}});
        report["vanished"] = std::move(vanished);
    }
    report["rows"] = RowsJson(rows, notScanned, header.suggestions);
    // One line: thousands of these files are read at once.
    return Dump(report, -1);
}

std::string FormatSummary(const std::vector<ScanRow>& rows, std::size_t notScanned, const VanishReport& vanished)
{
    // Reasons in the order a reader looks for them, with their counts.
    std::vector<std::pair<std::string, std::size_t>> reasons;
    std::vector<const std::string*> broken;
    std::size_t unverified = 0;
    for (const ScanRow& row : rows) {
        if (row.present)
            continue;
        if (row.unverified) {
            ++unverified;
            continue;
        }
        if (!row.CountsAsBroken())
            continue;
        broken.push_back(&row.shortcut);
        const std::string reason = row.ReasonName();
        auto known = std::find_if(reasons.begin(), reasons.end(),
                                  [&reason](const std::pair<std::string, std::size_t>& r) { return r.first == reason; });
        if (known == reasons.end())
            reasons.emplace_back(reason, 1);
        else
            ++known->second;
    }
    std::string line = "veltmor-scan: " + std::to_string(broken.size()) +
                       (broken.size() == 1 ? " broken shortcut" : " broken shortcuts");
    if (!reasons.empty()) {
        line += " (";
        for (std::size_t i = 0; i < reasons.size(); ++i)
            line += (i ? ", " : "") + reasons[i].first + " " + std::to_string(reasons[i].second);
        line += ")";
    }
    line += ", " + std::to_string(unverified) + " unverified, " + std::to_string(notScanned) + " not scanned";
    if (vanished.count > 0)
        line += ", " + std::to_string(vanished.count) + " vanished since " + vanished.since;
    // As many whole paths as fit, then how many did not; a path is never cut.
    for (std::size_t i = 0; i < broken.size(); ++i) {
        const std::string rest = "; and " + std::to_string(broken.size() - i) + " more";
        const std::string next = (i ? "; " : ": ") + *broken[i];
        const std::string after = "; and " + std::to_string(broken.size() - i - 1) + " more";
        const std::size_t room = kSummaryLimit - line.size();
        const bool last = i + 1 == broken.size();
        if (next.size() + (last ? 0 : after.size()) > room) {
            line += rest.size() <= room ? rest : std::string();
            break;
        }
        line += next;
    }
    // Reason names and counts alone cannot pass the limit; cut safely anyway.
    line.resize(CutPoint(line, kSummaryLimit));
    return line + "\r\n";
}

}  // namespace cli
