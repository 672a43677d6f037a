// The shortcut inventory: a list refused whole at its first fault, contents
// kept once, the vanish alarm counting only shortcuts whose targets stayed,
// and a recovery that writes back exactly those, over nothing, once.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FakeFileStore.h"
#include "FakeScanHost.h"
#include "FakeScanPlatform.h"
#include "cli/quarantine/Quarantine.h"
#include "cli/snapshot/Snapshot.h"
#include "cli/snapshot/SnapshotList.h"
#include "scan/LinkStructure.h"

namespace {

const std::string kDir = "C:\\Snap";
const std::string kPrograms = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs";
const std::string kPinned = "C:\\Users\\Ann\\AppData\\Roaming\\Microsoft\\Internet Explorer\\Quick Launch";

cli::SnapshotList ValidList()
{
    cli::SnapshotList list;
    list.time = "2026-12-08T09:00:00Z";
    list.machine = "PC-1";
    list.places = {{kPrograms, "common-start-menu", ""}};
    list.items = {{kPrograms + "\\Zoom\\Zoom.lnk", scan::Digest("zoom"), 4, "2026-01-02T03:04:05Z", 0,
                   "C:\\Zoom\\zoom.exe", "present", "", "lnk"}};
    return list;
}

TEST(SnapshotList, RefusesEveryTamperedFormWhole)
{
    const std::string good = cli::SnapshotText(ValidList());
    cli::SnapshotList read;
    std::string problem;
    ASSERT_TRUE(cli::ParseSnapshot(good, read, problem)) << problem;
    EXPECT_EQ(good, cli::SnapshotText(read));

    const auto item = [](const std::function<void(cli::SnapshotItem&)>& change) {
        cli::SnapshotList list = ValidList();
        change(list.items[0]);
        return cli::SnapshotText(list);
    };
    cli::SnapshotList otherPlace = ValidList();
    otherPlace.places[0].folder = "C:\\ProgramData\\..\\Windows";
    cli::SnapshotList rootPlace = ValidList();
    rootPlace.places[0].folder = "C:\\";
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"nested thousands deep", std::string(5000, '[')},
        {"an item nested one deeper",
         "{\"kind\":\"veltmor-scan snapshot\",\"schema\":1,\"places\":[],\"items\":[{\"shortcut\":[\"x\"]}]}"},
        {"another kind", "{\"kind\":\"veltmor-scan quarantine\",\"schema\":1,\"places\":[],\"items\":[]}"},
        {"a later schema", good.substr(0, good.find("\"schema\": 1")) + "\"schema\": 2" +
                               good.substr(good.find("\"schema\": 1") + 11)},
        {"another drive", item([](cli::SnapshotItem& i) { i.shortcut = "D:\\Programs\\Zoom.lnk"; })},
        {"a .. part", item([](cli::SnapshotItem& i) { i.shortcut = kPrograms + "\\..\\..\\x.lnk"; })},
        {"its place itself", item([](cli::SnapshotItem& i) { i.shortcut = kPrograms; })},
        {"a device path", item([](cli::SnapshotItem& i) { i.shortcut = "\\\\.\\C:\\x.lnk"; })},
        {"no place of the list", item([](cli::SnapshotItem& i) { i.place = 3; })},
        {"not a shortcut's name", item([](cli::SnapshotItem& i) { i.shortcut = kPrograms + "\\evil.exe"; })},
        {"a kind that is not its name's", item([](cli::SnapshotItem& i) { i.kind = "url"; })},
        {"a digest of another form", item([](cli::SnapshotItem& i) { i.digest = "4:abc"; })},
        {"a size that is not its digest's", item([](cli::SnapshotItem& i) { i.size = 5; })},
        {"a write time of another form", item([](cli::SnapshotItem& i) { i.written = "yesterday"; })},
        {"a place with ..", cli::SnapshotText(otherPlace)},
        {"a drive's root as place", cli::SnapshotText(rootPlace)},
    };
    for (const auto& test : cases) {
        problem.clear();
        EXPECT_FALSE(cli::ParseSnapshot(test.text, read, problem)) << test.what;
        EXPECT_NE("", problem) << test.what;
    }
    cli::SnapshotList twice = ValidList();
    twice.items.push_back(twice.items[0]);
    twice.items[1].shortcut = kPrograms + "\\ZOOM\\zoom.LNK";
    EXPECT_FALSE(cli::ParseSnapshot(cli::SnapshotText(twice), read, problem)) << "one file listed twice";
}

TEST(SnapshotList, ChoosesTheLatestNotNewerThanAsOf)
{
    const std::vector<std::string> names = {cli::ListName("2023-01-12T08:00:00Z", 0),
                                            cli::ListName("2023-01-13T08:00:00Z", 0),
                                            cli::ListName("2023-01-13T08:00:00Z", 1), "notes.json"};
    const struct {
        const char* asOf;
        bool found;
        const char* chosen;
    } cases[] = {
        {"", true, "20230113T080000Z-001.json"},
        {"2023-01-13", true, "20230112T080000Z-000.json"},  // the day's start
        {"2023-01-13T08:00Z", true, "20230113T080000Z-001.json"},
        {"2023-01-13T07:59:59Z", true, "20230112T080000Z-000.json"},
        {"2023-01-12T07:00:00Z", false, ""},
    };
    for (const auto& test : cases) {
        std::string asOf, chosen;
        if (*test.asOf) {
            ASSERT_TRUE(cli::ParseAsOf(test.asOf, asOf)) << test.asOf;
        }
        EXPECT_EQ(test.found, cli::ChooseList(names, asOf, chosen)) << test.asOf;
        EXPECT_EQ(test.chosen, chosen) << test.asOf;
    }
    std::string ignored;
    for (const char* bad : {"13/01/2023", "2023-01-13 08:00", "2023-1-13", ""})
        EXPECT_FALSE(cli::ParseAsOf(bad, ignored)) << bad;
}

TEST(Snapshot, ListsWhatTheOptionsAskForOfAScanThatListedAll)
{
    // present, unverified, missing on a fixed drive, missing on a CD
    std::vector<cli::ScanRow> all(4);
    all[0].present = true;
    all[1].unverified = true;
    all[2].driveType = scan::kDriveFixed;
    all[3].driveType = 5;
    for (std::size_t i = 0; i < all.size(); ++i)
        all[i].shortcut = std::to_string(i);
    const struct {
        bool ignoreRemovable, displayAll;
        const char* listed;
    } cases[] = {{true, false, "2"}, {false, false, "23"}, {true, true, "0123"}, {false, true, "0123"}};
    for (const auto& test : cases) {
        std::vector<cli::ScanRow> rows = all;
        cli::KeepListed(rows, test.ignoreRemovable, test.displayAll);
        std::string listed;
        for (const cli::ScanRow& row : rows)
            listed += row.shortcut;
        EXPECT_EQ(test.listed, listed) << test.ignoreRemovable << test.displayAll;
    }
}

// A machine: the all-users Programs tree and a user's pins, the targets
// that exist, the rows a scan of it gives.
struct Machine {
    fake::FakeFileStore store;
    fake::FakeScanHost host;
    fake::CallLog log;
    std::unique_ptr<fake::FakeFileSystem> system = std::make_unique<fake::FakeFileSystem>(log);
    std::map<std::string, std::string> targets;  // shortcut: target
    std::vector<cli::SnapshotPlace> places = {{kPrograms, "common-start-menu", ""},
                                              {kPinned, "quick-launch", "C:\\Users\\Ann"}};

    void Shortcut(const std::string& path, const std::string& target)
    {
        store.Put(path, "link to " + target);
        targets[path] = target;
        system->AddFile(target);
    }
    std::vector<cli::ScanRow> Rows()
    {
        std::vector<cli::ScanRow> rows;
        for (const auto& file : store.files) {
            if (!targets.count(file.first))
                continue;
            cli::ScanRow row;
            row.shortcut = file.first;
            row.target = targets[file.first];
            row.present = true;
            row.root = cli::IsWithin(file.first, kPrograms) ? kPrograms : kPinned;
            row.digest = scan::Digest(file.second);
            rows.push_back(row);
        }
        return rows;
    }
    int day = 0;
    cli::VanishReport Snapshot(unsigned keep = 30)
    {
        host.utcTime = "2023-01-1" + std::to_string(day++) + "T08:00:00Z";
        cli::CSnapshot snapshot(store, *system, host, nullptr);
        cli::VanishReport vanished;
        std::string problem = snapshot.OpenForSnapshot(kDir);
        if (problem.empty())
            problem = snapshot.Take(Rows(), places, keep, vanished);
        EXPECT_EQ("", problem);
        return vanished;
    }
    // From the snapshot before the incident's day.
    int Recover(bool dryRun, unsigned long maxMoves, std::string& problem)
    {
        cli::CSnapshot snapshot(store, *system, host, nullptr);
        problem = snapshot.OpenForRecover(kDir, "2023-01-12", dryRun);
        if (!problem.empty())
            return cli::kExitSomeLeft + 1;
        const std::vector<cli::RecoverPlace> allowed = {{kPrograms, ""}, {kPinned, ""}};
        const int status = snapshot.Recover(allowed, maxMoves, problem);
        return problem.empty() ? status : cli::kExitSomeLeft + 1;
    }
    std::size_t Contents() const
    {
        std::size_t n = 0;
        for (const auto& file : store.files)
            n += file.first.compare(0, kDir.size() + 9, kDir + "\\content\\") == 0;
        return n;
    }
};

TEST(Snapshot, AlarmsAndRecoversExactlyTheIncidentsShortcuts)
{
    Machine pc;
    const std::vector<std::string> incident = {kPrograms + "\\Zoom\\Zoom.lnk", kPrograms + "\\Office\\Word.lnk",
                                               kPinned + "\\User Pinned\\TaskBar\\Word.lnk"};
    pc.Shortcut(incident[0], "C:\\Zoom\\zoom.exe");
    pc.Shortcut(incident[1], "C:\\Office\\word.exe");
    pc.Shortcut(incident[2], "C:\\Office\\word.exe");  // the same bytes: kept once
    pc.Shortcut(kPrograms + "\\Old\\Old.lnk", "C:\\Old\\old.exe");
    pc.Shortcut(kPrograms + "\\Stays.lnk", "C:\\Stays\\stays.exe");
    pc.store.Put(kPrograms + "\\Intranet.url", "[InternetShortcut]\r\nURL=https://intranet/\r\n");

    const cli::VanishReport first = pc.Snapshot();
    EXPECT_TRUE(first.taken);
    EXPECT_EQ(0u, first.count);
    EXPECT_EQ("", first.since);
    EXPECT_EQ(5u, pc.Contents()) << "six files, two of them alike";
    const auto before = pc.store.files;

    // A second snapshot of the same machine adds its list and nothing else.
    const std::size_t files = pc.store.files.size();
    EXPECT_EQ(0u, pc.Snapshot().count);
    EXPECT_EQ(files + 1, pc.store.files.size());

    // The incident, and an uninstall: shortcut and target gone.
    for (const std::string& path : incident)
        pc.store.files.erase(path);
    pc.store.files.erase(kPrograms + "\\Intranet.url");
    pc.store.files.erase(kPrograms + "\\Old\\Old.lnk");
    pc.system = std::make_unique<fake::FakeFileSystem>(pc.log);
    for (const char* target : {"C:\\Zoom\\zoom.exe", "C:\\Office\\word.exe", "C:\\Stays\\stays.exe"})
        pc.system->AddFile(target);

    const cli::VanishReport alarm = pc.Snapshot();
    EXPECT_EQ(3u, alarm.count);
    EXPECT_EQ("2023-01-11T08:00:00Z", alarm.since);
    std::set<std::string> named;
    for (const cli::VanishedShortcut& item : alarm.items)
        named.insert(item.shortcut);
    EXPECT_EQ(std::set<std::string>(incident.begin(), incident.end()), named);

    // Someone made a file of their own at one path meanwhile.
    pc.store.Put(incident[1], "a file of someone's");
    const auto untouched = pc.store.files;
    std::string problem;
    EXPECT_EQ(cli::kExitSomeLeft + 1, pc.Recover(false, 1, problem)) << "more than --max-moves";
    EXPECT_NE(std::string::npos, problem.find("--max-moves 1"));
    EXPECT_EQ(untouched, pc.store.files);
    pc.host.output.clear();
    EXPECT_EQ(cli::kExitSomeLeft, pc.Recover(true, 0, problem));
    EXPECT_EQ(untouched, pc.store.files) << "a dry run writes nothing";
    EXPECT_NE(std::string::npos, pc.host.output.find("would recover: \"" + incident[0]));
    EXPECT_EQ(std::string::npos, pc.host.output.find("would recover: \"" + incident[1]));

    // The recovery is killed after its journal's first line and a part of
    // the file it was writing.
    cli::ManifestEntry cut;
    cut.action = "recovering";
    cut.original = incident[0];
    cut.digest = scan::Digest(before.at(incident[0]));
    cut.place = cli::ContentPlace(cut.digest);
    cut.time = "2026-12-08T09:00:00Z";
    pc.store.Put(kDir + "\\journal.jsonl", cli::CManifest::JournalLine(cut));
    pc.store.Put(incident[0], before.at(incident[0]).substr(0, 5));

    EXPECT_EQ(cli::kExitSomeLeft, pc.Recover(false, 0, problem)) << "the taken path stays, named";
    for (const std::string& path : {incident[0], incident[2], kPrograms + "\\Intranet.url"})
        EXPECT_EQ(before.at(path), pc.store.files[path]) << path;
    EXPECT_EQ("a file of someone's", pc.store.files[incident[1]]);
    EXPECT_EQ(0u, pc.store.files.count(kPrograms + "\\Old\\Old.lnk")) << "its target went too";
    EXPECT_NE(std::string::npos, pc.host.output.find("not recovered: its target is gone too"));
    cli::CManifest manifest;
    ASSERT_TRUE(manifest.Load(pc.store.files[kDir + "\\manifest.json"]));
    EXPECT_EQ(3u, manifest.Entries()) << "each file recovered once";

    // Right after, nothing more to do.
    const auto after = pc.store.files;
    pc.Recover(false, 0, problem);
    EXPECT_EQ(after, pc.store.files);
}

TEST(Snapshot, KeepsTheNewestListsAndWhatTheyName)
{
    Machine pc;
    pc.Shortcut(kPrograms + "\\A.lnk", "C:\\A\\a.exe");
    pc.Snapshot(2);
    pc.store.files[kPrograms + "\\A.lnk"] = "changed bytes";
    pc.Snapshot(2);
    EXPECT_EQ(2u, pc.Contents());
    pc.store.files[kPrograms + "\\A.lnk"] = "changed again";
    pc.Snapshot(2);
    EXPECT_EQ(2u, pc.Contents()) << "the first bytes went with the first list";
    EXPECT_EQ(0u, pc.store.files.count(kDir + "\\" + cli::ContentPlace(scan::Digest("link to C:\\A\\a.exe"))));
    std::size_t lists = 0;
    for (const auto& file : pc.store.files)
        lists += file.first.compare(0, kDir.size() + 7, kDir + "\\lists\\") == 0;
    EXPECT_EQ(2u, lists);
}

TEST(Snapshot, RefusesATamperedFolderBeforeWritingAnything)
{
    const struct {
        const char* what;
        std::string name;
        std::string text;
    } cases[] = {
        {"a list pointing outside its places", "lists\\20261208T090000Z-000.json",
         [] {
             cli::SnapshotList list = ValidList();
             list.items[0].shortcut = "C:\\Windows\\System32\\x.lnk";
             return cli::SnapshotText(list);
         }()},
        {"a list whose name is not its time", "lists\\20261207T090000Z-000.json", cli::SnapshotText(ValidList())},
        {"a file not ours among the lists", "lists\\readme.txt", "hello"},
        {"a manifest not ours", "manifest.json", "{\"kind\":\"other\"}"},
    };
    for (const auto& test : cases) {
        Machine pc;
        pc.Shortcut(kPrograms + "\\A.lnk", "C:\\A\\a.exe");
        pc.store.Put(kDir + "\\" + test.name, test.text);
        const bool manifest = test.name == "manifest.json";
        if (manifest)
            pc.store.Put(kDir + "\\lists\\" + cli::ListName(ValidList().time, 0), cli::SnapshotText(ValidList()));
        const auto before = pc.store.files;
        cli::CSnapshot snapshot(pc.store, *pc.system, pc.host, nullptr);
        const std::string problem = manifest ? snapshot.OpenForRecover(kDir, "", false)
                                             : snapshot.OpenForSnapshot(kDir);
        EXPECT_NE(std::string::npos, problem.find("move it away first")) << test.what << ": " << problem;
        EXPECT_EQ(before, pc.store.files) << test.what;
    }
}

}  // namespace
