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
};

Cells CellsOf(const ScanRow& row)
{
    return {{row.StatusName(), row.DriveTypeName(), row.ReasonName(), row.shortcut.c_str(), row.target.c_str(),
             row.location.c_str(), row.profile.c_str()}};
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
            out.append(widths[c] - std::strlen(cells.text[c]) + 2, ' ');
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
        missing += row.present ? 0 : 1;

    std::string out;
    if (!rows.empty()) {
        std::size_t widths[kColumns];
        for (std::size_t c = 0; c < kColumns; ++c)
            widths[c] = std::strlen(kHeadings[c]);
        for (const ScanRow& row : rows) {
            const Cells cells = CellsOf(row);
            for (std::size_t c = 0; c < kColumns; ++c)
                widths[c] = std::max(widths[c], std::strlen(cells.text[c]));
        }
        Cells headings;
        std::copy(std::begin(kHeadings), std::end(kHeadings), headings.text);
        AppendLine(out, headings, widths, columns);
        for (const ScanRow& row : rows)
            AppendLine(out, CellsOf(row), widths, columns);
    }
    out += std::to_string(rows.size()) + (rows.size() == 1 ? " shortcut" : " shortcuts") + " listed, " +
           std::to_string(missing) + " missing";
    if (notScanned > 0)
        out += ", " + std::to_string(notScanned) + " not scanned";
    out += "\r\n";
    return out;
}

std::string FormatCsv(const std::vector<ScanRow>& rows)
{
    std::string out = "shortcut,target,status,drive,reason,location,profile\r\n";
    for (const ScanRow& row : rows) {
        AppendCsvField(out, row.shortcut);
        out += ',';
        AppendCsvField(out, row.target);
        out += ',';
        out += row.StatusName();
        out += ',';
        out += row.DriveTypeName();
        out += ',';
        out += row.ReasonName();
        out += ',';
        AppendCsvField(out, row.location);
        out += ',';
        AppendCsvField(out, row.profile);
        out += "\r\n";
    }
    return out;
}

std::string FormatJson(const std::vector<ScanRow>& rows, const ToUtf8& toUtf8)
{
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const ScanRow& row : rows) {
        nlohmann::ordered_json object;
        object["shortcut"] = toUtf8(row.shortcut);
        object["target"] = toUtf8(row.target);
        object["status"] = row.StatusName();
        object["drive"] = row.DriveTypeName();
        if (row.present)
            object["reason"] = nullptr;
        else
            object["reason"] = row.ReasonName();
        object["location"] = row.location;
        object["profile"] = toUtf8(row.profile);
        list.push_back(std::move(object));
    }
    // A converter that let invalid UTF-8 through must not end the program:
    // such bytes come out as U+FFFD.
    return list.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace cli
