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

// The report's events as they come: the fields it needs are kept, every
// other value is passed over, and a row is checked and classified (then
// dropped) as soon as it ends.
class CRunReader {
public:
    explicit CRunReader(ScanRun& run) : m_run(run) {}

    std::string problem;
    bool isList = false, sawRows = false, sawVeltmor = false, sawSchema = false;
    bool sawVanished = false;
    unsigned vanishedFields = 0;  // a bit for each of count, since and items read
    unsigned texts = 0;  // a bit for each of machine, user, time and version read
    long long schema = 0;

    bool null() { return Value(nullptr, Kind::Null); }
    bool boolean(bool value) { return Value(nullptr, value ? Kind::True : Kind::False); }
    bool number_integer(Json::number_integer_t value)
    {
        m_number = value;
        return Value(nullptr, Kind::Integer);
    }
    bool number_unsigned(Json::number_unsigned_t value)
    {
        m_number = value > 0x7fffffffffffffffULL ? 0x7fffffffffffffffLL : static_cast<long long>(value);
        return Value(nullptr, Kind::Integer);
    }
    bool number_float(Json::number_float_t, const std::string&) { return Value(nullptr, Kind::Other); }
    bool string(std::string& value) { return Value(&value, Kind::Text); }
    bool binary(Json::binary_t&) { return Value(nullptr, Kind::Other); }
    bool key(std::string& name)
    {
        m_key = std::move(name);
        return true;
    }
    bool start_object(std::size_t)
    {
        if (m_stack.empty())
            return Push(Ctx::Top);
        switch (m_stack.back()) {
        case Ctx::Top:
            if (m_key == "vanished") {
                if (sawVanished)
                    return Fail("\"vanished\" given twice");
                sawVanished = true;
                return Push(Ctx::Vanished);
            }
            return Push(m_key == "options" ? Ctx::Options : Ctx::Skip);
        case Ctx::Rows:
            if (++m_rows > kMaxRows)
                return Fail("more than " + std::to_string(kMaxRows) + " rows");
            m_row = Row();
            return Push(Ctx::Row);
        case Ctx::Notes:
            return Fail("\"notes\" is not a list of texts");
        case Ctx::Vanished:
            if (m_key == "count" || m_key == "since" || m_key == "items")
                return Fail("\"vanished\": \"" + m_key + "\" is not what a scan writes");
            return Push(Ctx::Skip);
        case Ctx::VanishedItems:
            if (m_run.vanished.size() >= kMaxVanished)
                return Fail("\"vanished\" names more than " + std::to_string(kMaxVanished) + " shortcuts");
            m_item = Item();
            return Push(Ctx::VanishedItem);
        case Ctx::VanishedItem:
            if (VanishedField(m_key))
                return Fail("a vanished shortcut's \"" + m_key + "\" is not text");
            return Push(Ctx::Skip);
        default:
            return Push(Ctx::Skip);
        }
    }
    bool end_object()
    {
        const Ctx ended = m_stack.back();
        m_stack.pop_back();
        if (ended == Ctx::VanishedItem)
            return EndItem();
        return ended != Ctx::Row || EndRow();
    }
    bool start_array(std::size_t)
    {
        if (m_stack.empty()) {
            isList = true;
            return false;
        }
        if (m_stack.back() == Ctx::Top && m_key == "rows") {
            sawRows = true;
            return Push(Ctx::Rows);
        }
        if (m_stack.back() == Ctx::Top && m_key == "notes")
            return Push(Ctx::Notes);
        if (m_stack.back() == Ctx::Rows)
            return Fail("row " + std::to_string(m_rows + 1) + ": not an object");
        if (m_stack.back() == Ctx::Notes)
            return Fail("\"notes\" is not a list of texts");
        if (m_stack.back() == Ctx::Vanished && m_key == "items") {
            vanishedFields |= 4u;
            return Push(Ctx::VanishedItems);
        }
        if ((m_stack.back() == Ctx::Vanished && (m_key == "count" || m_key == "since")) ||
            m_stack.back() == Ctx::VanishedItems || (m_stack.back() == Ctx::VanishedItem && VanishedField(m_key)))
            return Fail("\"vanished\" is not what a scan writes");
        return Push(Ctx::Skip);
    }
    bool end_array()
    {
        m_stack.pop_back();
        return true;
    }
    bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&)
    {
        if (problem.empty())
            problem = "not JSON, or cut short";
        return false;
    }

private:
    enum class Ctx { Top, Options, Notes, Rows, Row, Vanished, VanishedItems, VanishedItem, Skip };
    enum class Kind { Null, True, False, Integer, Text, Other };
    struct Row {
        std::string shortcut, target, status, reason, location, profile, kind;
        unsigned have = 0;  // bit per field, in that order
    };
    struct Item {
        VanishedRow row;
        unsigned have = 0;  // bit per field, in VanishedRow's order
    };

    static bool VanishedField(const std::string& key)
    {
        return key == "shortcut" || key == "target" || key == "lastSeen" || key == "location" || key == "profile";
    }

    bool Push(Ctx ctx)
    {
        // Deeper than any report goes: refused before it costs anything.
        if (m_stack.size() >= 64)
            return Fail("nested too deep");
        m_stack.push_back(ctx);
        return true;
    }
    bool Fail(std::string why)
    {
        problem = std::move(why);
        return false;
    }
    bool Keep(std::string* text, std::size_t limit, std::string& into)
    {
        if (!text || text->size() > limit)
            return false;
        into = std::move(*text);
        return true;
    }

    bool Value(std::string* text, Kind kind)
    {
        if (m_stack.empty())
            return Fail("not a Veltmor scan report");
        switch (m_stack.back()) {
        case Ctx::Top:
            if (m_key == "veltmor") {
                sawVeltmor = text && *text == "scan-report";
            } else if (m_key == "schema") {
                sawSchema = kind == Kind::Integer;
                schema = m_number;
            } else {
                static const char* const kTexts[] = {"machine", "user", "time", "version"};
                std::string* const into[] = {&m_run.machine, &m_run.user, &m_run.time, &m_run.version};
                for (unsigned f = 0; f < 4; ++f) {
                    if (m_key != kTexts[f])
                        continue;
                    if (!Keep(text, kMaxName, *into[f]))
                        return Fail(std::string("\"") + kTexts[f] + "\" is not text of at most " +
                                    std::to_string(kMaxName) + " bytes");
                    texts |= 1u << f;
                }
            }
            return true;
        case Ctx::Options:
            if (m_key == "all")
                m_run.unverifiedRecorded = kind == Kind::True;
            else if (m_key == "snapshot")
                m_run.snapshot = kind == Kind::True;
            return true;
        case Ctx::Vanished:
            if (m_key == "count") {
                // More than any machine holds: a number made up, not counted.
                if (kind != Kind::Integer || m_number < 0 || m_number > 10000000)
                    return Fail("\"vanished\": \"count\" is not a count");
                m_run.vanishedCount = static_cast<std::size_t>(m_number);
                vanishedFields |= 1u;
            } else if (m_key == "since") {
                std::int64_t seconds = 0;
                if (!text || (!text->empty() && !ParseUtcTime(*text, seconds)))
                    return Fail("\"vanished\": \"since\" is not a UTC time");
                m_run.vanishedSince = std::move(*text);
                vanishedFields |= 2u;
            }
            // Other fields, as everywhere in the file, are a later version's: passed over.
            return true;
        case Ctx::VanishedItems:
            return Fail("a vanished shortcut is not an object");
        case Ctx::VanishedItem: {
            static const char* const kFields[] = {"shortcut", "target", "lastSeen", "location", "profile"};
            std::string* const into[] = {&m_item.row.shortcut, &m_item.row.target, &m_item.row.lastSeen,
                                         &m_item.row.location, &m_item.row.profile};
            for (unsigned f = 0; f < 5; ++f) {
                if (m_key != kFields[f])
                    continue;
                if (!Keep(text, f == 2 || f == 3 ? kMaxName : kMaxText, *into[f]))
                    return Fail("vanished shortcut " + std::to_string(m_run.vanished.size() + 1) + ": \"" +
                                kFields[f] + "\" is too long or not text");
                m_item.have |= 1u << f;
            }
            return true;
        }
        case Ctx::Notes:
            if (m_run.notes.size() >= kMaxNotes)
                return Fail("\"notes\" is not a list of at most " + std::to_string(kMaxNotes) + " texts");
            m_run.notes.emplace_back();
            if (!Keep(text, kMaxText, m_run.notes.back()))
                return Fail("a note is not text");
            return true;
        case Ctx::Rows:
            return Fail("row " + std::to_string(m_rows + 1) + ": not an object");
        case Ctx::Row: {
            static const char* const kFields[] = {"shortcut", "target",  "status", "reason",
                                                  "location", "profile", "kind"};
            std::string* const into[] = {&m_row.shortcut, &m_row.target,  &m_row.status, &m_row.reason,
                                         &m_row.location, &m_row.profile, &m_row.kind};
            for (unsigned f = 0; f < 7; ++f) {
                if (m_key != kFields[f])
                    continue;
                m_row.have &= ~(1u << f);
                if (text && Keep(text, f == 0 || f == 1 || f == 5 ? kMaxText : kMaxName, *into[f]))
                    m_row.have |= 1u << f;
                else if (kind != Kind::Null)
                    return Fail("row " + std::to_string(m_rows) + ": \"" + kFields[f] + "\" is too long or not text");
            }
            return true;
        }
        default:
            return true;
        }
    }

    bool EndRow()
    {
        const std::string at = "row " + std::to_string(m_rows) + ": ";
        Row& row = m_row;
        if (!(row.have & 4u))
            return Fail(at + "\"status\" is missing or not text");
        if (row.status == "present")
            return true;
        if (row.status == "unverified") {
            ++m_run.unverified;
            return true;
        }
        if (row.status == "not-scanned") {
            if (!(row.have & 1u))
                return Fail(at + "\"shortcut\" is missing or not text");
            m_run.notScanned.push_back(std::move(row.shortcut));
            return true;
        }
        if (row.status != "missing")
            return Fail(at + "unknown status \"" + row.status + "\"");
        if ((row.have & 0x3Bu) != 0x3Bu)
            return Fail(at + "a broken row needs shortcut, target, reason, location and profile as text");
        if (!(row.have & 64u))
            row.kind = KindOfName(row.shortcut);
        else if (row.kind != "lnk" && row.kind != "pif" && row.kind != "url" && row.kind != "appref-ms")
            return Fail(at + "unknown kind \"" + row.kind + "\"");
        std::vector<BrokenRow>* list = nullptr;
        if (row.reason == "missing" || row.reason == "unreadable" || row.reason == "installer-orphaned")
            list = &m_run.broken;
        else if (row.reason == "unreachable-drive")
            list = &m_run.unreachable;
        else if (row.reason != "installer-managed" && row.reason != "no-file-target" && row.reason != "not-a-file")
            return Fail(at + "unknown reason \"" + row.reason + "\"");
        if (list)
            list->push_back({std::move(row.shortcut), std::move(row.target), std::move(row.reason),
                             std::move(row.location), std::move(row.profile), std::move(row.kind)});
        return true;
    }

    bool EndItem()
    {
        std::int64_t seconds = 0;
        const std::string at = "vanished shortcut " + std::to_string(m_run.vanished.size() + 1) + ": ";
        if (m_item.have != 31u)
            return Fail(at + "needs shortcut, target, lastSeen, location and profile as text");
        if (m_item.row.shortcut.empty() || !ParseUtcTime(m_item.row.lastSeen, seconds))
            return Fail(at + "no shortcut, or \"lastSeen\" is not a UTC time");
        m_run.vanished.push_back(std::move(m_item.row));
        return true;
    }

    ScanRun& m_run;
    std::vector<Ctx> m_stack;
    std::string m_key;
    long long m_number = 0;
    std::size_t m_rows = 0;
    Row m_row;
    Item m_item;
};

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

const char* KindOfName(const std::string& shortcut)
{
    const auto endsWith = [&shortcut](const char* tail) {
        const std::size_t n = std::char_traits<char>::length(tail);
        if (shortcut.size() <= n)
            return false;
        for (std::size_t i = 0; i < n; ++i) {
            char c = shortcut[shortcut.size() - n + i];
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
            if (c != tail[i])
                return false;
        }
        return true;
    };
    if (endsWith(".url"))
        return "url";
    if (endsWith(".appref-ms"))
        return "appref-ms";
    if (endsWith(".pif"))
        return "pif";
    return "lnk";
}

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
    ScanRun read;
    CRunReader reader(read);
    // No exceptions: a damaged file is an answer, not an error.
    const bool parsed = Json::sax_parse(text, &reader, Json::input_format_t::json, true, false);
    if (reader.isList) {
        problem = "a plain list of rows (--format json, or a version before 1.2): scan with --format report";
        return false;
    }
    if (!parsed) {
        problem = reader.problem.empty() ? "not JSON, or cut short" : reader.problem;
        return false;
    }
    if (!reader.sawVeltmor) {
        problem = "not a Veltmor scan report";
        return false;
    }
    if (!reader.sawSchema || reader.schema < 1) {
        problem = "no schema number";
        return false;
    }
    if (reader.schema > kSchema) {
        problem = "written by a newer version (schema " + std::to_string(reader.schema) + ")";
        return false;
    }
    static const char* const kTexts[] = {"machine", "user", "time", "version"};
    for (unsigned f = 0; f < 4; ++f)
        if (!(reader.texts & (1u << f))) {
            problem = std::string("\"") + kTexts[f] + "\" is missing or not text";
            return false;
        }
    if (read.machine.empty()) {
        problem = "no machine name";
        return false;
    }
    if (!ParseUtcTime(read.time, read.seconds)) {
        problem = "\"time\" is not a UTC time such as 2026-12-07T21:05:11Z";
        return false;
    }
    if (!reader.sawRows) {
        problem = "no \"rows\" list";
        return false;
    }
    if (reader.sawVanished != read.snapshot) {
        problem = read.snapshot ? "a snapshot's run without its \"vanished\" record"
                                : "\"vanished\" in a run that took no snapshot";
        return false;
    }
    if (reader.sawVanished && reader.vanishedFields != 7u) {
        problem = "\"vanished\" needs count, since and items";
        return false;
    }
    if (read.vanished.size() > read.vanishedCount) {
        problem = "\"vanished\" names more shortcuts than its count";
        return false;
    }
    read.file = std::move(run.file);
    run = std::move(read);
    return true;
}

}  // namespace report
