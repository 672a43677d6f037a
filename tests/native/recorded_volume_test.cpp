// What a shortcut recorded of its target's volume decides whether a drive
// letter absent now is gone (repairable) or only away (a mapped share, a USB
// disk); and the names the system's refusal proves missing, or not.
#include <gtest/gtest.h>

#include "FakeScanPlatform.h"
#include "cli/CollectingScanView.h"
#include "cli/ScanRow.h"
#include "cli/suggest/LinkEvidence.h"
#include "tests/kit/LnkBuilder.h"

namespace {

using cli::kDriveCdRom;
using cli::kDriveFixed;
using cli::kDriveNoRoot;
using cli::kDriveRemote;
using cli::kDriveRemovable;
using cli::kDriveUnknown;

TEST(RecordedVolume, EachLinkInfoGivesItsDriveTypeAndTheTargetsPathOnTheShare)
{
    const auto local = [](const std::string& path, std::uint32_t type) {
        lnkkit::LinkParts parts;
        parts.localBasePath = path;
        parts.driveType = type;
        return parts;
    };
    const auto share = [](const std::string& net, const std::string& device) {
        lnkkit::LinkParts parts;
        parts.netName = net;
        parts.deviceName = device;
        parts.commonPathSuffix = "Apps\\a.exe";
        return parts;
    };
    lnkkit::LinkParts itemsOnly;
    itemsOnly.idList = lnkkit::PathItems("Y:\\APPS\\A.EXE");
    const struct {
        const char* kind;
        lnkkit::LinkParts parts;
        std::string target;
        bool read;
        std::uint32_t drive;
        std::string sharePath;
    } cases[] = {
        {"fixed", local("C:\\Apps\\a.exe", kDriveFixed), "C:\\Apps\\a.exe", true, kDriveFixed, ""},
        {"removable", local("X:\\Tool\\t.exe", kDriveRemovable), "X:\\Tool\\t.exe", true, kDriveRemovable, ""},
        {"mapped", share("\\\\SRV\\SHARE", "Y:"), "Y:\\Apps\\a.exe", true, kDriveRemote, "\\\\SRV\\SHARE\\Apps\\a.exe"},
        {"mapped, drive in another case", share("\\\\SRV\\SHARE\\", "Y:"), "y:\\Apps", true, kDriveRemote,
         "\\\\SRV\\SHARE\\Apps"},
        {"mapped, target elsewhere", share("\\\\SRV\\SHARE", "Y:"), "Q:\\Apps\\a.exe", true, kDriveRemote, ""},
        {"mapped, a drive letter's prefix only", share("\\\\SRV\\SHARE", "Y:"), "Y:Apps", true, kDriveRemote, ""},
        {"share without a drive", share("\\\\SRV\\SHARE", ""), "\\\\SRV\\SHARE\\Apps\\a.exe", true, kDriveRemote, ""},
        {"no link info", itemsOnly, "Y:\\APPS\\A.EXE", false, kDriveUnknown, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        const std::string bytes = lnkkit::Build(c.parts);
        scan::MemoryByteSource source(bytes.data(), bytes.size());
        cli::RecordedVolume volume;
        EXPECT_EQ(c.read, cli::ReadRecordedVolume(source, volume));
        EXPECT_EQ(c.drive, volume.driveType);
        EXPECT_EQ(c.sharePath, cli::SharePath(volume, c.target));
        // Every cut of the file reads nothing or a part of the same record.
        for (std::size_t size = 0; size < bytes.size(); size += 7) {
            scan::MemoryByteSource cut(bytes.data(), size);
            cli::RecordedVolume partial;
            if (cli::ReadRecordedVolume(cut, partial)) {
                EXPECT_EQ(c.drive, partial.driveType) << size;
            }
        }
    }
}

// Through the engine and the rows: only a drive letter that no longer exists
// and was recorded as nothing that may be away is gone for a repair.
TEST(RecordedVolume, OnlyADriveLetterRecordedAsNothingThatMayBeAwayIsGone)
{
    const struct {
        const char* kind;
        std::string target;
        unsigned recorded;
        std::string networkPath;
        bool gone;
    } cases[] = {
        {"recorded fixed", "Q:\\Apps\\a.exe", kDriveFixed, "", true},
        {"nothing recorded", "Q:\\Apps\\b.exe", kDriveUnknown, "", true},
        {"mapped share", "Q:\\Apps\\c.exe", kDriveRemote, "\\\\srv\\share\\Apps\\c.exe", false},
        {"share, its path not recorded", "Q:\\Apps\\d.exe", kDriveRemote, "", false},
        {"removable", "Q:\\Apps\\e.exe", kDriveRemovable, "", false},
        {"disc", "Q:\\Apps\\f.exe", kDriveCdRom, "", false},
        {"a network path itself", "\\\\gone\\share\\g.exe", kDriveUnknown, "", false},
        {"drive there, removable now", "E:\\h.exe", kDriveFixed, "", false},
        {"fixed drive", "C:\\Apps\\i.exe", kDriveFixed, "", false},
    };
    fake::CallLog log;
    fake::FakeFileSystem fs(log);  // a drive letter not set here does not exist
    fs.AddFolder("C:\\Menu");
    fs.SetDriveType("C:\\", kDriveFixed);
    fs.SetDriveType("E:\\", kDriveRemovable);
    for (const auto& c : cases) {
        const std::string shortcut = std::string("C:\\Menu\\") + c.kind + ".lnk";
        fs.AddShortcut(shortcut, c.target);
        fs.SetRecorded(shortcut, c.recorded, c.networkPath);
    }
    cli::CCollectingScanView view;
    view.options.scanFrom = "C:\\Menu";
    view.options.displayAll = true;
    scan::CScanEngine engine(fs, view);
    engine.OnScan();
    ASSERT_EQ(std::size(cases), view.Rows().size());
    std::vector<cli::ScanRow> rows;
    for (const auto& listed : view.Rows()) {
        cli::ScanRow row;
        row.shortcut = listed.shortcut;
        row.target = listed.target;
        row.driveType = fs.DriveType(fs.Root(listed.target));
        row.recordedDrive = listed.recordedDrive;
        row.networkPath = listed.networkPath;
        rows.push_back(row);
    }
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].kind);
        EXPECT_EQ(cases[i].networkPath, rows[i].networkPath);
        EXPECT_EQ(cases[i].gone, rows[i].DriveLetterGone());
        // A present or unverified target is never gone, whatever its drive.
        for (const bool present : {true, false}) {
            cli::ScanRow held = rows[i];
            held.present = present;
            held.unverified = !present;
            EXPECT_FALSE(held.DriveLetterGone());
        }
    }
}

TEST(TargetNames, ARefusedNameIsMissingOnlyWhenItHoldsWhatNoNameMayHold)
{
    const struct {
        std::string path;
        bool cannotExist;  // the system's "invalid name" proves it missing
        bool fallback;     // read as a code-page copy
    } cases[] = {
        {"C:\\Apps\\a\x01" "b\\gone.exe", true, false},
        {"\\\\?\\C:\\Apps\\a\x1f.exe", true, false},
        {"C:\\Apps\\say \"hi\".exe", true, false},
        {"C:\\a<b>\\c.exe", true, false},
        {"C:\\a|b.exe", true, false},
        {"C:\\Apps\\app.exe", false, false},
        {"C:\\???????\\gone.exe", false, true},
        {"C:\\??\x01.exe", false, true},   // a '?' says the text is not the stored name
        {"C:\\a*b\x01.exe", false, false},
        {"\\\\?\\C:\\Apps\\app.exe", false, false},  // the prefix's '?' is no fallback
        {"\\\\?\\C:\\Apps\\??.exe", false, true},
        {"C:", false, false},
        {"", false, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.cannotExist, scan::NameCannotExist(c.path)) << c.path;
        EXPECT_EQ(c.fallback, scan::HoldsCodePageFallback(c.path)) << c.path;
    }
}

}  // namespace
