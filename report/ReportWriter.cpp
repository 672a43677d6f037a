#include "ReportWriter.h"

#include <string_view>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

namespace report {

const char kPlaceholder[] = "\"__VELTMOR_DATA__\"";

namespace {

using Json = nlohmann::ordered_json;

// The paths repeat across machines: each text once, rows by index. The
// texts are the tables' own, not copies: a machine may hold 100,000 rows.
class CStrings {
public:
    std::size_t Index(const std::string& text)
    {
        const auto found = m_index.find(text);
        if (found != m_index.end())
            return found->second;
        m_texts.push_back(&text);
        return m_index[text] = m_texts.size() - 1;
    }
    const std::vector<const std::string*>& Texts() const { return m_texts; }

private:
    std::unordered_map<std::string_view, std::size_t> m_index;
    std::vector<const std::string*> m_texts;
};

Json Counts(const std::vector<Count>& counts)
{
    Json list = Json::array();
    for (const Count& count : counts)
        list.push_back({{"name", count.name}, {"shortcuts", count.shortcuts}, {"machines", count.machines}});
    return list;
}

std::string Escaped(const std::string& json)
{
    std::string out;
    out.reserve(json.size() + json.size() / 16);
    for (std::size_t i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (c == '<')
            out += "\\u003c";
        else if (c == '>')
            out += "\\u003e";
        else if (c == '&')
            out += "\\u0026";
        else if (c == '\xE2' && i + 2 < json.size() && json[i + 1] == '\x80' &&
                 (json[i + 2] == '\xA8' || json[i + 2] == '\xA9')) {
            out += json[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
            i += 2;
        } else {
            out += c;
        }
    }
    return out;
}

std::string Cell(const std::string& text)
{
    std::string cell = text;
    if (!cell.empty() && (cell[0] == '=' || cell[0] == '+' || cell[0] == '-' || cell[0] == '@' || cell[0] == '\t' ||
                          cell[0] == '\r'))
        cell.insert(cell.begin(), '\'');
    if (cell.find_first_of(",\"\r\n") == std::string::npos)
        return cell;
    std::string quoted = "\"";
    for (char c : cell) {
        quoted += c;
        if (c == '"')
            quoted += '"';
    }
    return quoted + "\"";
}

std::string Line(std::initializer_list<std::string> cells)
{
    std::string line;
    for (const std::string& cell : cells)
        line += (line.empty() ? "" : ",") + Cell(cell);
    return line + "\r\n";
}

const char kBom[] = "\xEF\xBB\xBF";

}  // namespace

std::string PageData(const FleetTables& tables, const ReportContext& context)
{
    Json data;
    data["version"] = context.version;
    data["asOf"] = FormatUtcTime(context.asOf);
    data["staleDays"] = context.staleDays;
    data["files"] = {{"read", context.filesRead}, {"skipped", context.filesSkipped}};
    data["totals"] = {{"machines", tables.machines.size()},
                      {"machinesWithBroken", tables.machinesWithBroken},
                      {"broken", tables.broken},
                      {"unreachable", tables.unreachable},
                      {"unverified", tables.unverified},
                      {"unverifiedNotRecorded", tables.unverifiedNotRecorded},
                      {"notScanned", tables.notScanned},
                      {"partialMachines", tables.partial},
                      {"staleMachines", tables.stale},
                      {"clockAhead", tables.ahead.size()},
                      {"orphaned", tables.orphaned},
                      {"machinesWithOrphaned", tables.machinesWithOrphaned},
                      {"snapshotMachines", tables.snapshotMachines},
                      {"machinesWithVanished", tables.lostMachines.size()},
                      {"vanished", tables.vanished}};
    if (context.expectedGiven)
        data["totals"]["neverReported"] = context.neverReported.size();
    data["byReason"] = Counts(tables.byReason);
    data["byLocation"] = Counts(tables.byLocation);
    data["byKind"] = Counts(tables.byKind);
    data["lost"] = tables.lostMachines;
    Json& programs = data["programs"] = Json::array();
    for (std::size_t p = 0; p < tables.programs.size() && p < kPagePrograms; ++p) {
        const ProgramCount& program = tables.programs[p];
        Json targets = Json::array();
        for (std::size_t t = 0; t < program.targets.size() && t < kPageTargets; ++t)
            targets.push_back({{"target", program.targets[t].target},
                               {"machines", program.targets[t].machines},
                               {"shortcuts", program.targets[t].shortcuts}});
        programs.push_back({{"folder", program.folder},
                            {"machines", program.machines},
                            {"shortcuts", program.shortcuts},
                            {"targets", std::move(targets)},
                            {"machineList", tables.programMachines[p]}});
    }
    Json& trend = data["trend"] = Json::array();
    for (const TrendDay& day : tables.trend)
        trend.push_back({{"day", day.day}, {"broken", day.broken}, {"machines", day.machines}});

    CStrings strings;
    const auto rowOf = [&strings](const BrokenRow& row) {
        return Json::array({strings.Index(row.shortcut), strings.Index(row.target), strings.Index(row.reason),
                            strings.Index(row.location), strings.Index(row.profile), strings.Index(row.kind)});
    };
    const auto rowsOf = [&rowOf](const std::vector<BrokenRow>& rows) {
        Json list = Json::array();
        for (const BrokenRow& row : rows)
            list.push_back(rowOf(row));
        return list;
    };
    const auto textsOf = [&strings](const std::vector<std::string>& texts) {
        Json list = Json::array();
        for (const std::string& text : texts)
            list.push_back(strings.Index(text));
        return list;
    };
    // What is per machine goes straight to text, machine by machine: as one
    // tree it would cost several times the page.
    const auto text = [](const Json& json) {
        return Escaped(json.dump(-1, ' ', false, Json::error_handler_t::replace));
    };
    const auto vanishedOf = [&strings](const ScanRun& run) {
        if (!run.snapshot)
            return Json();
        Json list = Json::array();
        for (const VanishedRow& row : run.vanished)
            list.push_back(Json::array({strings.Index(row.shortcut), strings.Index(row.target),
                                        strings.Index(row.lastSeen), strings.Index(row.location),
                                        strings.Index(row.profile)}));
        return list;
    };
    static const char* const kLists[] = {"machines", "shortcuts", "unreachableRows", "notScannedPaths",
                                         "notes",    "changes",   "vanishedRows"};
    constexpr std::size_t kListCount = sizeof kLists / sizeof kLists[0];
    std::string lists[kListCount];
    for (const MachineState& machine : tables.machines) {
        const ScanRun& run = *machine.latest;
        const Json items[] = {
            {{"name", run.machine},
                            {"user", run.user},
                            {"time", run.time},
                            {"version", run.version},
                            {"runs", machine.runs},
                            {"broken", run.broken.size()},
                            {"unreachable", run.unreachable.size()},
                            {"unverified", run.unverifiedRecorded ? Json(run.unverified) : Json()},
                            {"notScanned", run.notScanned.size()},
                            {"stale", machine.stale},
                            {"partial", !run.notScanned.empty()},
                            {"file", run.file},
                            {"vanished", run.snapshot ? Json(run.vanishedCount) : Json()},
                            {"vanishedSince", run.vanishedSince}},
            rowsOf(run.broken),
            rowsOf(run.unreachable),
            textsOf(run.notScanned),
            textsOf(run.notes),
            machine.hasPrevious ? Json({{"fresh", machine.fresh}, {"fixed", rowsOf(machine.fixed)}}) : Json(),
            vanishedOf(run),
        };
        for (std::size_t k = 0; k < kListCount; ++k)
            lists[k] += (lists[k].empty() ? "[" : ",") + text(items[k]);
    }
    const auto changeList = [&rowOf](const std::vector<Change>& list) {
        Json out = Json::array();
        for (const Change& change : list) {
            Json row = rowOf(change.row);
            row.insert(row.begin(), change.machine);
            out.push_back(std::move(row));
        }
        return out;
    };
    data["week"] = {{"since", FormatUtcTime(context.asOf - 7 * 86400)},
                    {"machines", tables.weekMachines},
                    {"fresh", changeList(tables.weekNew)},
                    {"fixed", changeList(tables.weekFixed)}};
    Json& ahead = data["clockAhead"] = Json::array();
    for (const AheadRun& run : tables.ahead)
        ahead.push_back({{"name", run.machine}, {"time", run.time}, {"file", run.file}});
    data["neverReported"] = context.expectedGiven ? Json(context.neverReported) : Json();
    // The texts last, each dumped alone: the whole list as one tree would
    // copy every one of them again.
    std::string out = text(data);
    data = Json();
    std::size_t size = out.size();
    for (const std::string& list : lists)
        size += list.size() + 32;
    for (const std::string* texts : strings.Texts())
        size += texts->size() + texts->size() / 8 + 3;
    out.reserve(size + 16);  // grown in place, never copied whole
    out.pop_back();
    for (std::size_t k = 0; k < kListCount; ++k) {
        out += std::string(",\"") + kLists[k] + "\":" + (lists[k].empty() ? "[" : lists[k]) + "]";
        lists[k] = std::string();
    }
    out += ",\"strings\":[";
    for (std::size_t i = 0; i < strings.Texts().size(); ++i)
        out += (i ? "," : "") + text(Json(*strings.Texts()[i]));
    out += "]}";
    return out;
}

std::string Page(const std::string& pageTemplate, const std::string& data)
{
    const std::size_t at = pageTemplate.find(kPlaceholder);
    if (at == std::string::npos)
        return std::string();
    std::string page;
    page.reserve(pageTemplate.size() + data.size());
    page.append(pageTemplate, 0, at);
    page += data;
    page.append(pageTemplate, at + sizeof kPlaceholder - 1, std::string::npos);
    return page;
}

std::string TargetsCsv(const FleetTables& tables)
{
    std::string csv = kBom + Line({"program folder", "folder machines", "target", "machines", "shortcuts"});
    for (const ProgramCount& program : tables.programs)
        for (const TargetCount& target : program.targets)
            csv += Line({program.folder, std::to_string(program.machines), target.target,
                         std::to_string(target.machines), std::to_string(target.shortcuts)});
    return csv;
}

std::string MachinesCsv(const FleetTables& tables)
{
    std::string csv = kBom + Line({"machine", "user", "last run", "runs", "broken", "removable or network",
                                   "unverified", "not scanned", "partial", "stale", "version", "file",
                                   "vanished"});
    for (const MachineState& machine : tables.machines) {
        const ScanRun& run = *machine.latest;
        // Empty, not 0, where the scan did not record unverified rows.
        csv += Line({run.machine, run.user, run.time, std::to_string(machine.runs), std::to_string(run.broken.size()),
                     std::to_string(run.unreachable.size()),
                     run.unverifiedRecorded ? std::to_string(run.unverified) : std::string(),
                     std::to_string(run.notScanned.size()), run.notScanned.empty() ? "no" : "yes",
                     machine.stale ? "yes" : "no", run.version, run.file,
                     // Empty where the run took no snapshot: nothing was compared.
                     run.snapshot ? std::to_string(run.vanishedCount) : std::string()});
    }
    return csv;
}

std::string BrokenCsv(const FleetTables& tables)
{
    std::string csv = kBom + Line({"machine", "user", "last run", "location", "profile", "shortcut", "target",
                                   "reason", "program folder", "kind"});
    std::size_t size = csv.size();
    for (const MachineState& machine : tables.machines)
        for (const BrokenRow& row : machine.latest->broken)
            size += machine.latest->machine.size() + machine.latest->user.size() + 40 + row.location.size() +
                    row.profile.size() + row.shortcut.size() + 2 * row.target.size() + row.reason.size() + 10;
    csv.reserve(size + size / 16);
    for (const MachineState& machine : tables.machines) {
        const ScanRun& run = *machine.latest;
        for (const BrokenRow& row : run.broken)
            csv += Line({run.machine, run.user, run.time, row.location, row.profile, row.shortcut, row.target,
                         row.reason, row.target.empty() ? std::string() : ProgramFolder(WithoutUser(row.target)),
                         row.kind});
    }
    return csv;
}

}  // namespace report
