// Readers of the scanner's output for the tests, native and under Wine: a
// strict RFC 4180 reader and a reader of the aligned text table. Written
// apart from the formatter, so a quoting or alignment fault shows as a
// difference rather than cancelling out.
#ifndef VELTMOR_TESTS_CLI_OUTPUTREADERS_H
#define VELTMOR_TESTS_CLI_OUTPUTREADERS_H

#include <cstddef>
#include <string>
#include <vector>

namespace clitest {

using Record = std::vector<std::string>;

// RFC 4180 with CRLF record ends, strictly: a quote inside an unquoted
// field, text after a closing quote, a bare CR or LF outside quotes, a
// missing final CRLF or an unterminated quoted field is an error (message
// in error, false returned).
inline bool ReadCsv(const std::string& text, std::vector<Record>& records, std::string& error)
{
    records.clear();
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        Record record;
        for (;;) {
            std::string field;
            if (i < n && text[i] == '"') {
                ++i;
                for (;;) {
                    if (i >= n) {
                        error = "unterminated quoted field in record " + std::to_string(records.size() + 1);
                        return false;
                    }
                    if (text[i] == '"') {
                        if (i + 1 < n && text[i + 1] == '"') {
                            field += '"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    field += text[i++];
                }
            } else {
                while (i < n && text[i] != ',' && text[i] != '\r' && text[i] != '\n') {
                    if (text[i] == '"') {
                        error = "quote inside an unquoted field in record " + std::to_string(records.size() + 1);
                        return false;
                    }
                    field += text[i++];
                }
            }
            record.push_back(field);
            if (i < n && text[i] == ',') {
                ++i;
                continue;
            }
            if (i + 1 < n && text[i] == '\r' && text[i + 1] == '\n') {
                i += 2;
                break;
            }
            error = i >= n ? "no CRLF after the last record"
                           : "unexpected character " + std::to_string(static_cast<unsigned char>(text[i])) +
                                 " after field " + std::to_string(record.size()) + " of record " +
                                 std::to_string(records.size() + 1);
            return false;
        }
        records.push_back(record);
    }
    return true;
}

// Lines split at CRLF; false when a line ends in a bare LF or the text does
// not end in CRLF.
inline bool SplitCrlfLines(const std::string& text, std::vector<std::string>& lines, std::string& error)
{
    lines.clear();
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            error = "text does not end in CRLF";
            return false;
        }
        const std::string line = text.substr(start, end - start);
        if (line.find('\n') != std::string::npos || line.find('\r') != std::string::npos) {
            error = "bare line break in line " + std::to_string(lines.size() + 1);
            return false;
        }
        lines.push_back(line);
        start = end + 2;
    }
    return true;
}

// The aligned table: a heading line whose words mark where each column
// starts, one line per row, then the count line. Cells are cut at the
// heading's column starts and their padding removed.
struct TextTable {
    std::vector<std::string> headings;
    std::vector<Record> rows;
    std::string countLine;
};

// line with each UTF-8 character's bytes as one element, so that a column
// is a character; or each byte as one (a single-byte code page).
inline std::vector<std::string> Columns(const std::string& line, bool utf8)
{
    std::vector<std::string> columns;
    for (const char c : line) {
        if (utf8 && !columns.empty() && (static_cast<unsigned char>(c) & 0xC0) == 0x80)
            columns.back() += c;
        else
            columns.push_back(std::string(1, c));
    }
    return columns;
}

// utf8: the text is UTF-8 and aligned by character, as the formatter makes
// it; otherwise it is read byte by byte, as a single-byte code page.
inline bool ReadTextTable(const std::string& text, TextTable& table, std::string& error, bool utf8 = false)
{
    table = TextTable();
    std::vector<std::string> lines;
    if (!SplitCrlfLines(text, lines, error))
        return false;
    if (lines.empty()) {
        error = "no lines at all";
        return false;
    }
    table.countLine = lines.back();
    lines.pop_back();
    if (lines.empty())
        return true;

    const std::string& heading = lines.front();
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < heading.size(); ++i)
        if (heading[i] != ' ' && (i == 0 || heading[i - 1] == ' '))
            starts.push_back(i);
    for (std::size_t c = 0; c < starts.size(); ++c) {
        const std::size_t end = c + 1 < starts.size() ? starts[c + 1] : heading.size();
        std::string word = heading.substr(starts[c], end - starts[c]);
        word.erase(word.find_last_not_of(' ') + 1);
        table.headings.push_back(word);
    }
    for (std::size_t l = 1; l < lines.size(); ++l) {
        const std::vector<std::string> line = Columns(lines[l], utf8);
        const auto cut = [&line](std::size_t from, std::size_t end) {
            std::string cell;
            for (std::size_t i = from; i < end && i < line.size(); ++i)
                cell += line[i];
            return cell;
        };
        if (!line.empty() && line.back() == " ") {
            error = "line " + std::to_string(l + 1) + " ends in a space";
            return false;
        }
        Record cells;
        for (std::size_t c = 0; c < starts.size(); ++c) {
            // A cell begins exactly at its column: after two spaces at least.
            if (c > 0 && starts[c] < line.size() &&
                (line[starts[c] - 1] != " " || line[starts[c] - 2] != " ")) {
                error = "line " + std::to_string(l + 1) + " is not aligned at column " + table.headings[c];
                return false;
            }
            if (starts[c] >= line.size()) {
                cells.push_back(std::string());
                continue;
            }
            const bool last = c + 1 == starts.size();
            std::string cell = cut(starts[c], last ? line.size() : starts[c + 1]);
            if (!last)
                cell.erase(cell.find_last_not_of(' ') + 1);
            cells.push_back(cell);
        }
        table.rows.push_back(cells);
    }
    return true;
}

}  // namespace clitest

#endif
