#include "EventLog.h"

#include <nlohmann/json.hpp>

namespace cli {

namespace {

using Json = nlohmann::ordered_json;

// Days since 1970-01-01 of a proleptic Gregorian date.
long DaysFromCivil(long year, unsigned month, unsigned day)
{
    year -= month <= 2;
    const long era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<long>(dayOfEra) - 719468;
}

// "YYYYMMDD" read into a day number; false unless 8 digits of a real date.
bool DayOf(const std::string& digits, long& day)
{
    if (digits.size() != 8 || digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const long year = std::stol(digits.substr(0, 4));
    const unsigned month = static_cast<unsigned>(std::stoul(digits.substr(4, 2)));
    const unsigned date = static_cast<unsigned>(std::stoul(digits.substr(6, 2)));
    if (month < 1 || month > 12 || date < 1 || date > 31)
        return false;
    day = DaysFromCivil(year, month, date);
    return true;
}

Json Base(const LogSource& source, const char* action, const char* outcome, const std::string& path)
{
    Json line;
    line["@timestamp"] = source.time;
    line["host"]["name"] = source.machine;
    line["user"]["name"] = source.user;
    line["event"]["kind"] = "state";
    line["event"]["action"] = action;
    line["event"]["outcome"] = outcome;
    line["file"]["path"] = path;
    return line;
}

std::string Text(const Json& line)
{
    // Bytes that are not UTF-8 come out as U+FFFD; one line, LF.
    return line.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

Json OrNull(const std::string& text)
{
    return text.empty() ? Json() : Json(text);
}

}  // namespace

std::string LogFileName(const std::string& time)
{
    // "2026-12-07T21:05:11Z"
    if (time.size() < 10 || time[4] != '-' || time[7] != '-')
        return std::string();
    const std::string digits = time.substr(0, 4) + time.substr(5, 2) + time.substr(8, 2);
    long day = 0;
    return DayOf(digits, day) ? "veltmor-" + digits + ".jsonl" : std::string();
}

std::string ScanLogLines(const LogSource& source, const std::vector<ScanRow>& rows,
                         const std::vector<NotScannedPath>& notScanned)
{
    // The run's own line first: a run that found nothing broken writes no
    // row without --all, and a query must still see that it ran.
    std::size_t broken = 0, unverified = 0;
    for (const ScanRow& row : rows) {
        const MissingReason reason = row.Reason();
        broken += reason == MissingReason::Missing || reason == MissingReason::Unreadable ||
                          reason == MissingReason::InstallerOrphaned
                      ? 1
                      : 0;
        unverified += reason == MissingReason::Unverified ? 1 : 0;
    }
    Json run = Base(source, "scan", broken ? "failure" : "success", std::string());
    Json& counts = run["veltmor"];
    counts["status"] = "run";
    counts["broken"] = broken;
    counts["unverified"] = unverified;
    counts["not_scanned"] = notScanned.size();
    counts["version"] = source.version;
    counts["schema"] = kLogSchema;
    std::string text = Text(run);
    for (const ScanRow& row : rows) {
        const MissingReason reason = row.Reason();
        const bool broken = reason == MissingReason::Missing || reason == MissingReason::Unreadable ||
                            reason == MissingReason::InstallerOrphaned;
        Json line = Base(source, "scan", row.present ? "success" : broken ? "failure" : "unknown", row.shortcut);
        line["file"]["target_path"] = row.target;
        Json& ours = line["veltmor"];
        ours["status"] = row.StatusName();
        ours["reason"] = OrNull(row.ReasonName());
        ours["drive"] = row.DriveTypeName();
        ours["location"] = row.location;
        ours["profile"] = row.profile;
        ours["detail"] = row.unverified ? Json(row.detail) : Json();
        ours["candidate"] = OrNull(row.candidate);
        ours["grade"] = row.candidate.empty() ? Json() : Json(GradeName(row.grade));
        ours["version"] = source.version;
        ours["schema"] = kLogSchema;
        text += Text(line);
    }
    for (const NotScannedPath& skipped : notScanned) {
        Json line = Base(source, "scan", "unknown", skipped.path);
        Json& ours = line["veltmor"];
        ours["status"] = "not-scanned";
        ours["reason"] = skipped.ReasonName();
        ours["detail"] = skipped.Words();
        ours["version"] = source.version;
        ours["schema"] = kLogSchema;
        text += Text(line);
    }
    return text;
}

std::string MoveLogLines(const LogSource& source, const std::vector<MoveEvent>& moves)
{
    std::string text;
    for (const MoveEvent& move : moves) {
        Json line = Base(source, move.action.c_str(), move.done ? "success" : "failure", move.path);
        line["file"]["target_path"] = move.target;
        Json& ours = line["veltmor"];
        ours["location"] = OrNull(move.location);
        ours["profile"] = OrNull(move.profile);
        ours["detail"] = OrNull(move.why);
        ours["candidate"] = OrNull(move.newTarget);
        ours["version"] = source.version;
        ours["schema"] = kLogSchema;
        text += Text(line);
    }
    return text;
}

std::vector<std::string> ExpiredLogFiles(const std::vector<std::string>& names, const std::string& time,
                                         unsigned keep)
{
    std::vector<std::string> expired;
    const std::string today = LogFileName(time);
    long now = 0;
    if (today.empty() || !DayOf(today.substr(8, 8), now))
        return expired;
    const std::string prefix = "veltmor-", suffix = ".jsonl";
    for (const std::string& name : names) {
        long day = 0;
        if (name.size() == prefix.size() + 8 + suffix.size() && name.compare(0, prefix.size(), prefix) == 0 &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0 &&
            DayOf(name.substr(prefix.size(), 8), day) && now - day >= static_cast<long>(keep))
            expired.push_back(name);
    }
    return expired;
}

}  // namespace cli
