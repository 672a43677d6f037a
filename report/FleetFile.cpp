#include "FleetFile.h"

#include <cstdio>

#include <nlohmann/json.hpp>

namespace report {

namespace {

using Json = nlohmann::json;

// Longer texts than these are no machine name, account or path.
constexpr std::size_t kMaxName = 256;
constexpr std::size_t kMaxText = 32768;
constexpr std::size_t kMaxNotes = 1000;

bool Text(const Json& object, const char* key, std::size_t limit, std::string& value, std::string& problem)
{
    const auto found = object.find(key);
    if (found == object.end() || !found->is_string()) {
        problem = std::string("\"") + key + "\" is missing or not text";
        return false;
    }
    const std::string& text = found->get_ref<const std::string&>();
    if (text.size() > limit) {
        problem = std::string("\"") + key + "\" is longer than " + std::to_string(limit) + " bytes";
        return false;
    }
    value = text;
    return true;
}

// Days since 1970-01-01 of a proleptic Gregorian date (Howard Hinnant's
// days_from_civil).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

}  // namespace

bool ParseUtcTime(const std::string& text, std::int64_t& seconds)
{
    // 2026-12-07T21:05:11Z
    static const char kForm[] = "dddd-dd-ddTdd:dd:ddZ";
    if (text.size() != sizeof kForm - 1)
        return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (kForm[i] == 'd' ? text[i] < '0' || text[i] > '9' : text[i] != kForm[i])
            return false;
    const auto number = [&text](std::size_t at, std::size_t digits) {
        unsigned n = 0;
        for (std::size_t i = at; i < at + digits; ++i)
            n = n * 10 + static_cast<unsigned>(text[i] - '0');
        return n;
    };
    const unsigned year = number(0, 4), month = number(5, 2), day = number(8, 2);
    const unsigned hour = number(11, 2), minute = number(14, 2), second = number(17, 2);
    static const unsigned kDays[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1970 || month < 1 || month > 12 || day < 1 || day > kDays[month - 1] || hour > 23 || minute > 59 ||
        second > 59)
        return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month == 2 && day == 29 && !leap)
        return false;
    seconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return true;
}

std::string FormatUtcDay(std::int64_t day)
{
    int y;
    unsigned m, d;
    CivilFromDays(day, y, m, d);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u", y, m, d);
    return text;
}

std::string FormatUtcTime(std::int64_t seconds)
{
    const std::int64_t day = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
    const std::int64_t rest = seconds - day * 86400;
    char text[40];
    std::snprintf(text, sizeof text, "T%02d:%02d:%02dZ", static_cast<int>(rest / 3600),
                  static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
    return FormatUtcDay(day) + text;
}

bool ReadScanRun(const std::string& text, ScanRun& run, std::string& problem)
{
    // No exceptions: a damaged file is an answer, not an error.
    const Json json = Json::parse(text, nullptr, false);
    if (json.is_discarded()) {
        problem = "not JSON, or cut short";
        return false;
    }
    if (json.is_array()) {
        problem = "a plain list of rows (--format json, or a version before 1.2): scan with --format report";
        return false;
    }
    if (!json.is_object() || json.value("veltmor", Json()) != "scan-report") {
        problem = "not a Veltmor scan report";
        return false;
    }
    const auto schema = json.find("schema");
    if (schema == json.end() || !schema->is_number_integer() || *schema < 1) {
        problem = "no schema number";
        return false;
    }
    if (*schema > kSchema) {
        problem = "written by a newer version (schema " + std::to_string(schema->get<long long>()) + ")";
        return false;
    }
    ScanRun read;
    if (!Text(json, "machine", kMaxName, read.machine, problem) || !Text(json, "user", kMaxName, read.user, problem) ||
        !Text(json, "time", kMaxName, read.time, problem) || !Text(json, "version", kMaxName, read.version, problem))
        return false;
    if (read.machine.empty()) {
        problem = "no machine name";
        return false;
    }
    if (!ParseUtcTime(read.time, read.seconds)) {
        problem = "\"time\" is not a UTC time such as 2026-12-07T21:05:11Z";
        return false;
    }
    const auto notes = json.find("notes");
    if (notes != json.end()) {
        if (!notes->is_array() || notes->size() > kMaxNotes) {
            problem = "\"notes\" is not a list of at most " + std::to_string(kMaxNotes) + " texts";
            return false;
        }
        for (const Json& note : *notes) {
            if (!note.is_string() || note.get_ref<const std::string&>().size() > kMaxText) {
                problem = "a note is not text";
                return false;
            }
            read.notes.push_back(note.get<std::string>());
        }
    }
    const auto rows = json.find("rows");
    if (rows == json.end() || !rows->is_array()) {
        problem = "no \"rows\" list";
        return false;
    }
    std::size_t index = 0;
    for (const Json& row : *rows) {
        ++index;
        std::string status;
        if (!row.is_object() || !Text(row, "status", kMaxName, status, problem)) {
            problem = "row " + std::to_string(index) + ": " + (row.is_object() ? problem : "not an object");
            return false;
        }
        bool good = true;
        if (status == "missing") {
            BrokenRow broken;
            good = Text(row, "shortcut", kMaxText, broken.shortcut, problem) &&
                   Text(row, "target", kMaxText, broken.target, problem) &&
                   Text(row, "reason", kMaxName, broken.reason, problem) &&
                   Text(row, "location", kMaxName, broken.location, problem) &&
                   Text(row, "profile", kMaxText, broken.profile, problem);
            read.broken.push_back(std::move(broken));
        } else if (status == "not-scanned") {
            std::string path;
            good = Text(row, "shortcut", kMaxText, path, problem);
            read.notScanned.push_back(std::move(path));
        } else if (status == "unverified") {
            ++read.unverified;
        } else if (status != "present") {
            problem = "unknown status \"" + status + "\"";
            good = false;
        }
        if (!good) {
            problem = "row " + std::to_string(index) + ": " + problem;
            return false;
        }
    }
    read.file = std::move(run.file);
    run = std::move(read);
    return true;
}

}  // namespace report
