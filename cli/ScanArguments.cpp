#include "ScanArguments.h"

#include "ParallelScan.h"
#include "SnapshotTerms.h"

namespace cli {

namespace {

ScanArguments Refused(const std::string& problem)
{
    ScanArguments refused;
    refused.action = ScanArguments::Action::Refuse;
    refused.problem = problem;
    return refused;
}

bool ReadFormat(const std::string& name, OutputFormat& format)
{
    if (name == "text")
        format = OutputFormat::Text;
    else if (name == "csv")
        format = OutputFormat::Csv;
    else if (name == "json")
        format = OutputFormat::Json;
    else if (name == "report")
        format = OutputFormat::Report;
    else
        return false;
    return true;
}

// A whole number from 1 to kMaxJobs, digits only.
bool ReadJobs(const std::string& text, unsigned& jobs)
{
    if (text.empty() || text.size() > 2 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    jobs = static_cast<unsigned>(std::stoul(text));
    return jobs >= 1 && jobs <= kMaxJobs;
}

std::string BadJobs(const std::string& text)
{
    return "--jobs takes a number from 1 to " + std::to_string(kMaxJobs) + ", not \"" + text + "\"";
}

std::string UnknownLocation(const std::string& name)
{
    return "unknown location \"" + name +
           "\" (start-menu, common-start-menu, desktop, common-desktop, quick-launch or all)";
}

// True when args[i] is the option name, given as "name VALUE" or
// "name=VALUE": value is then the value and i its argument's index;
// missing says that "name" ended the arguments.
bool OptionWithValue(const std::vector<std::string>& args, std::size_t& i, const std::string& name,
                     std::string& value, bool& missing)
{
    const std::string& arg = args[i];
    missing = false;
    if (arg == name) {
        missing = i + 1 == args.size();
        if (!missing)
            value = args[++i];
        return true;
    }
    if (arg.size() > name.size() && arg[name.size()] == '=' && arg.compare(0, name.size(), name) == 0) {
        value = arg.substr(name.size() + 1);
        return true;
    }
    return false;
}

}  // namespace

ScanArguments ScanArguments::Parse(const std::vector<std::string>& args)
{
    ScanArguments parsed;
    bool optionsEnded = false;
    bool evidenceGiven = false;
    bool logKeepGiven = false;
    bool keepGiven = false;
    std::size_t logWords = 0;  // --log's and --log-keep's, which a restore takes too
    std::string value;
    bool missing = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        // A folder may itself begin with '-': after "--" nothing is an option.
        if (optionsEnded || arg.empty() || arg[0] != '-') {
            if (arg == "/?" && !optionsEnded) {
                parsed.action = Action::Help;
                return parsed;
            }
            parsed.folders.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "--all") {
            parsed.displayAll = true;
        } else if (arg == "--include-removable") {
            parsed.ignoreRemovable = false;
        } else if (arg == "--include-pins") {
            parsed.includePins = true;
        } else if (OptionWithValue(args, i, "--format", value, missing)) {
            if (missing)
                return Refused("--format needs a value: text, csv, json or report");
            if (!ReadFormat(value, parsed.format))
                return Refused("unknown format \"" + value + "\" (text, csv, json or report)");
        } else if (OptionWithValue(args, i, "--location", value, missing)) {
            if (missing)
                return Refused("--location needs a value: a name such as start-menu, or all");
            std::string bad;
            if (!AddLocations(value, parsed.locations, bad))
                return Refused(UnknownLocation(bad));
        } else if (OptionWithValue(args, i, "--jobs", value, missing)) {
            if (missing)
                return Refused("--jobs needs a value: a number from 1 to " + std::to_string(kMaxJobs));
            if (!ReadJobs(value, parsed.jobs))
                return Refused(BadJobs(value));
        } else if (OptionWithValue(args, i, "--output", value, missing)) {
            if (missing || value.empty())
                return Refused("--output needs a file");
            parsed.output = value;
        } else if (arg == "--summary") {
            parsed.summary = true;
        } else if (arg == "--all-profiles") {
            parsed.allProfiles = true;
        } else if (arg == "--suggest") {
            parsed.suggest = true;
        } else if (OptionWithValue(args, i, "--evidence", value, missing)) {
            if (missing || (value != "exact" && value != "likely"))
                return Refused("--evidence takes exact or likely");
            parsed.evidence = value == "exact" ? Grade::Exact : Grade::Likely;
            evidenceGiven = true;
        } else if (arg == "--quarantine" || arg == "--restore" || arg == "--repair" || arg == "--snapshot" ||
                   arg == "--recover") {
            // A value that looks like an option is a forgotten folder.
            if (i + 1 == args.size() || args[i + 1].empty() || args[i + 1][0] == '-')
                return Refused(arg + " needs a folder");
            std::string& folder = arg == "--quarantine" ? parsed.quarantine
                                  : arg == "--restore"  ? parsed.restore
                                  : arg == "--snapshot" ? parsed.snapshot
                                  : arg == "--recover"  ? parsed.recover
                                                        : parsed.repair;
            if (!folder.empty())
                return Refused(arg + " is given twice");
            folder = args[++i];
        } else if (OptionWithValue(args, i, "--max-moves", value, missing)) {
            if (missing || value.empty() || value.size() > 9 || value.find_first_not_of("0123456789") != std::string::npos ||
                std::stoul(value) == 0)
                return Refused("--max-moves takes a number from 1 to 999999999");
            parsed.maxMoves = std::stoul(value);
        } else if (OptionWithValue(args, i, "--log", value, missing)) {
            if (missing || value.empty() || value[0] == '-')
                return Refused("--log needs a folder");
            if (!parsed.log.empty())
                return Refused("--log is given twice");
            parsed.log = value;
            logWords += 2;
        } else if (OptionWithValue(args, i, "--log-keep", value, missing)) {
            if (missing || value.empty() || value.size() > 4 || value.find_first_not_of("0123456789") != std::string::npos ||
                std::stoul(value) == 0 || std::stoul(value) > 3650)
                return Refused("--log-keep takes a number of days from 1 to 3650");
            parsed.logKeep = static_cast<unsigned>(std::stoul(value));
            logKeepGiven = true;
            logWords += 2;
        } else if (OptionWithValue(args, i, "--keep", value, missing)) {
            if (missing || value.empty() || value.size() > 4 || value.find_first_not_of("0123456789") != std::string::npos ||
                std::stoul(value) == 0 || std::stoul(value) > 3650)
                return Refused("--keep takes a number of snapshots from 1 to 3650");
            parsed.keep = static_cast<unsigned>(std::stoul(value));
            keepGiven = true;
        } else if (OptionWithValue(args, i, "--as-of", value, missing)) {
            if (missing || !ParseAsOf(value, parsed.asOf))
                return Refused("--as-of takes a UTC time: 2023-01-13T06:00:00Z, 2023-01-13T06:00Z or 2023-01-13");
        } else if (arg == "--dry-run") {
            parsed.dryRun = true;
        } else if (arg == "--help" || arg == "-h") {
            parsed.action = Action::Help;
            return parsed;
        } else if (arg == "--version") {
            parsed.action = Action::Version;
            return parsed;
        } else {
            return Refused("unknown option \"" + arg + "\" (see --help)");
        }
    }
    // Folders alone name no per-user location to take from each profile.
    if (parsed.allProfiles && parsed.locations.empty() && !parsed.folders.empty())
        return Refused("--all-profiles scans the locations of each profile: name them with --location");
    if (!parsed.quarantine.empty() + !parsed.restore.empty() + !parsed.repair.empty() + !parsed.snapshot.empty() +
            !parsed.recover.empty() > 1)
        return Refused("--quarantine, --repair, --restore, --snapshot and --recover go one at a time");
    if (keepGiven && parsed.snapshot.empty())
        return Refused("--keep goes with --snapshot");
    if (!parsed.asOf.empty() && parsed.recover.empty())
        return Refused("--as-of goes with --recover");
    // A recovery scans nothing: it writes back below this machine's own
    // locations, or below the folders given.
    if (!parsed.recover.empty() &&
        (parsed.displayAll || !parsed.ignoreRemovable || !parsed.locations.empty() || parsed.allProfiles ||
         parsed.suggest || parsed.summary || !parsed.output.empty() || parsed.format != OutputFormat::Text))
        return Refused("--recover takes no other option than --as-of, --dry-run, --max-moves and --log, and FOLDERs");
    if (evidenceGiven && parsed.repair.empty())
        return Refused("--evidence goes with --repair");
    if (!parsed.repair.empty())
        parsed.suggest = true;
    // A restore scans nothing: a scan's option beside it is a mistake.
    if (!parsed.restore.empty() && args.size() != (parsed.dryRun ? 3u : 2u) + logWords)
        return Refused("--restore takes no other option than --dry-run and --log, and no FOLDER");
    if (logKeepGiven && parsed.log.empty())
        return Refused("--log-keep goes with --log");
    if (parsed.dryRun && parsed.quarantine.empty() && parsed.restore.empty() && parsed.repair.empty() &&
        parsed.recover.empty())
        return Refused("--dry-run goes with --quarantine, --repair, --restore or --recover");
    if (parsed.maxMoves && parsed.quarantine.empty() && parsed.repair.empty() && parsed.recover.empty())
        return Refused("--max-moves goes with --quarantine, --repair or --recover");
    if (parsed.includePins && parsed.quarantine.empty() && parsed.repair.empty())
        return Refused("--include-pins goes with --quarantine or --repair");
    parsed.verb = !parsed.quarantine.empty() ? Verb::Quarantine
                  : !parsed.repair.empty()   ? Verb::Repair
                  : !parsed.restore.empty()  ? Verb::Restore
                  : !parsed.snapshot.empty() ? Verb::Snapshot
                  : !parsed.recover.empty()  ? Verb::Recover
                                             : Verb::List;
    return parsed;
}

const char* ScanArguments::Usage()
{
    return "usage: veltmor-scan [--all] [--include-removable] [--format FORMAT]\r\n"
           "                    [--location NAME[,NAME...]] [--all-profiles] [--jobs N]\r\n"
           "                    [--output FILE] [--summary] [FOLDER...]\r\n"
           "                    [--quarantine DIR [--max-moves N] [--dry-run]\r\n"
           "                     [--include-pins]] [--suggest]\r\n"
           "                    [--repair DIR [--evidence exact|likely] [--max-moves N]\r\n"
           "                     [--dry-run]]\r\n"
           "       veltmor-scan --restore DIR [--dry-run]\r\n"
           "       veltmor-scan [scan options] --snapshot DIR [--keep N]\r\n"
           "       veltmor-scan --recover DIR [--as-of TIME] [--dry-run] [--max-moves N] [FOLDER...]\r\n"
           "       (each of them also [--log DIR [--log-keep DAYS]])\r\n"
           "\r\n"
           "Lists broken shortcuts (.lnk, .pif, .url and .appref-ms files whose target is\r\n"
           "missing) below each\r\n"
           "FOLDER and location, in the order given; with neither, below your Start Menu\r\n"
           "folder. Without --quarantine or --restore nothing is changed: shortcuts are\r\n"
           "only read.\r\n"
           "\r\n"
           "  --all                list every shortcut found, working or not\r\n"
           "  --include-removable  also list broken shortcuts into CD-ROM drives, network\r\n"
           "                       shares and removable disks (left out by default)\r\n"
           "  --format FORMAT      text (default, aligned columns), csv (RFC 4180, with a\r\n"
           "                       header line), json (an array of row objects) or report\r\n"
           "                       (one JSON object: machine, user, time, version, options,\r\n"
           "                       notes and json's rows; for veltmor-report); all but text\r\n"
           "                       are UTF-8\r\n"
           "  --output FILE        write the rows to FILE (UTF-8), replacing it whole only\r\n"
           "                       once every row is written\r\n"
           "  --summary            end with one line (at most 2,048 characters): counts by\r\n"
           "                       reason and the first broken paths; nothing on standard\r\n"
           "                       error unless the run failed\r\n"
           "  --location NAMES     scan these places too, as the shell finds them:\r\n"
           "                       start-menu, common-start-menu (all users), desktop,\r\n"
           "                       common-desktop, quick-launch (with the pinned taskbar\r\n"
           "                       and Start items), or all; comma-separated\r\n"
           "  --all-profiles       the per-user locations of every local profile too\r\n"
           "  --jobs N             read shortcuts on N threads, 1 to 64 (default: one per\r\n"
           "                       processor); the output is the same whatever N\r\n"
           "  --quarantine DIR     after the scan, move each shortcut whose reason is\r\n"
           "                       missing into DIR, below its whole original path, and\r\n"
           "                       record it in DIR\\manifest.json; nothing is written over\r\n"
           "  --include-pins       with --quarantine or --repair: act on pinned taskbar and\r\n"
           "                       Start items too (the taskbar keeps a blank icon)\r\n"
           "  --max-moves N        with --quarantine or --repair: when more than N\r\n"
           "                       shortcuts would move or be repaired, change none and\r\n"
           "                       exit with 2\r\n"
           "  --suggest            for each missing target, look where moved programs go\r\n"
           "                       (the other program files folder and fixed drives,\r\n"
           "                       other versions' folders, the installed programs) and\r\n"
           "                       grade what is found by what the shortcut stored:\r\n"
           "                       exact (name, size and write time), likely, name-only\r\n"
           "  --repair DIR         retarget the shortcuts whose candidate is exact (with\r\n"
           "                       --evidence likely, likely too), keeping each file's\r\n"
           "                       bytes in DIR first, as --quarantine keeps them\r\n"
           "  --restore DIR        move every shortcut in DIR back to its original path;\r\n"
           "                       a repaired one gets its kept bytes back\r\n"
           "  --dry-run            with any of these three: say what would change, change\r\n"
           "                       nothing\r\n"
           "  --snapshot DIR       keep the bytes of every shortcut scanned (and .url file)\r\n"
           "                       in DIR with a list of them; exit 3 when shortcuts whose\r\n"
           "                       targets are still present vanished since the last one\r\n"
           "  --keep N             with --snapshot: lists kept (default 30)\r\n"
           "  --recover DIR        put back each shortcut of DIR's latest list that is\r\n"
           "                       gone while its target is present, byte for byte\r\n"
           "  --as-of TIME         with --recover: the latest list not newer than TIME\r\n"
           "                       (UTC: 2023-01-13T06:00:00Z, or 2023-01-13 for its start)\r\n"
           "  --log DIR            also append this run's rows and moves to\r\n"
           "                       DIR\\veltmor-YYYYMMDD.jsonl (UTC day), one JSON object a\r\n"
           "                       line, for log collectors\r\n"
           "  --log-keep DAYS      remove the day files older than DAYS (default 14)\r\n"
           "  --help               this text\r\n"
           "  --version            the version number\r\n"
           "  --                   what follows is a FOLDER, even if it begins with '-'\r\n"
           "\r\n"
           "Each row: shortcut, target, status (present, missing or unverified), the drive\r\n"
           "type of the target's root, why a target is missing or unverified, the location\r\n"
           "(or \"folder\"), the profile it was found in and, for an unverified target, the\r\n"
           "system's words. Reasons:\r\n"
           "  missing            the target's drive is a fixed drive and the path is absent\r\n"
           "  unreachable-drive  the target's drive is not a fixed drive\r\n"
           "  unreadable         the file is not a shortcut the shell can load\r\n"
           "  no-file-target     a shortcut to a shell item that is no file (not broken)\r\n"
           "  installer-managed  an advertised installer shortcut (not broken)\r\n"
           "  unverified         the presence test failed for another reason than \"not\r\n"
           "                     there\" (access denied, a network error...): not broken,\r\n"
           "                     listed only with --all, never quarantined\r\n"
           "\r\n"
           "Folders and files that could not be scanned (folders that cannot be opened,\r\n"
           "names that cannot be read exactly) are named on standard error, counted in the\r\n"
           "text format and listed as rows of status not-scanned in csv and json.\r\n"
           "\r\n"
           "Exit status: 0 no row is missing, 1 at least one row is missing (unverified\r\n"
           "rows do not count), 2 a usage\r\n"
           "error, a FOLDER that does not exist or is too long, or output that could not\r\n"
           "be written. With --quarantine or --restore: 0 every file that should move did,\r\n"
           "1 some stayed where they were (each named on standard error), 2 a usage error\r\n"
           "or a DIR that cannot be used (refused before anything moves).\r\n";
}

}  // namespace cli
