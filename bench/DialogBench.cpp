// Times the scan through the real main dialog, painting each row as it is
// added, against the same scan into a list that keeps nothing, on the same
// synthetic Start Menu; and measures the process's memory with the rows
// listed.
//   dialog   CMainDlg in a real window: the path typed into its field, the
//            options set on its check boxes, Scan clicked;
//   engine   CScanEngine over the real file system, rows discarded.
// Both run with the default options (a quarter of the shortcuts listed) and
// with "Display All Items" (every shortcut listed). After a warm-up, each
// round runs both in an order rotated from round to round; medians and
// minimums are reported.
//   usage: veltmor_dialog_bench [shortcuts] [rounds]   (default 10000 3)
// Needs a display: xvfb-run -a scripts/wine-run.sh veltmor_dialog_bench.exe
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "BenchTree.h"
#include "DiscardingScanView.h"
#include "GuiHarness.h"
#include "TempFolder.h"
#include "app/MainDlg.h"
#include "resource.h"
#include "scan/ScanEngine.h"
#include "scan/Win32ScanFileSystem.h"

namespace {

CWinApp g_app;  // the dialog's wait cursor and owner come from the application object

struct Memory {
    double workingSet;
    double peakWorkingSet;
    double privateBytes;
};

Memory MemoryNow()
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    const double mb = 1024.0 * 1024.0;
    return Memory{counters.WorkingSetSize / mb, counters.PeakWorkingSetSize / mb,
                  counters.PagefileUsage / mb};
}

int EngineScan(const scan::ScanOptions& options)
{
    scan::CWin32ScanFileSystem fileSystem(NULL);
    CDiscardingScanView view(options);
    scan::CScanEngine engine(fileSystem, view);
    engine.OnScan();
    return view.Listed();
}

int DialogScan(HWND dialog, const scan::ScanOptions& options)
{
    SendMessageA(GetDlgItem(dialog, IDC_EDIT), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(options.scanFrom.c_str()));
    SendMessageA(GetDlgItem(dialog, IDC_IGNORE_REMOVABLE), BM_SETCHECK,
                 options.ignoreRemovable ? BST_CHECKED : BST_UNCHECKED, 0);
    SendMessageA(GetDlgItem(dialog, IDC_DISPLAY_ALL), BM_SETCHECK,
                 options.displayAll ? BST_CHECKED : BST_UNCHECKED, 0);
    gui::Click(GetDlgItem(dialog, IDC_SCAN));  // returns when the scan has ended
    return static_cast<int>(SendMessageA(GetDlgItem(dialog, IDC_LIST), LVM_GETITEMCOUNT, 0, 0));
}

// What the list control alone costs here: the rows of a scan inserted,
// given their target text and repainted one at a time, with no scan.
double ListFloor(gui::ModalDialogThread& thread, HWND dialog, int rows)
{
    const HWND list = GetDlgItem(dialog, IDC_LIST);
    const double start = bench::Now();
    thread.RunOnUiThread([&] {
        char item[] = "C:\\Bench\\tree\\d0\\d1\\shortcut 00000.lnk";
        char target[] = "C:\\Bench\\targets\\program 00000.exe";
        for (int i = 0; i < rows; ++i) {
            LVITEMA row = {};
            row.mask = LVIF_TEXT | LVIF_IMAGE;
            row.iItem = i;
            row.pszText = item;
            row.iImage = i % 2;
            SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&row));
            LVITEMA value = {};
            value.iSubItem = 1;
            value.pszText = target;
            SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&value));
            UpdateWindow(list);
        }
    });
    const double elapsed = bench::Now() - start;
    thread.RunOnUiThread([&] { SendMessageA(list, LVM_DELETEALLITEMS, 0, 0); });
    return elapsed;
}

struct Result {
    std::vector<double> dialog, engine;
    int dialogRows = -1, engineRows = -1;
    double listFloor = 0;
};

Result Compare(HWND dialog, const scan::ScanOptions& options, int rounds)
{
    Result result;
    EngineScan(options);  // warm-up
    DialogScan(dialog, options);
    for (int round = 0; round < rounds; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool dialogTurn = (turn + round) % 2 == 0;
            const double start = bench::Now();
            if (dialogTurn)
                result.dialogRows = DialogScan(dialog, options);
            else
                result.engineRows = EngineScan(options);
            (dialogTurn ? result.dialog : result.engine).push_back(bench::Now() - start);
        }
    }
    return result;
}

void Report(const char* what, const Result& r)
{
    const double dm = bench::Median(r.dialog), em = bench::Median(r.engine);
    const double dn = bench::Minimum(r.dialog), en = bench::Minimum(r.engine);
    std::printf("%-12s rows %5d  dialog %8.3f s (min %8.3f)  engine %7.3f s (min %7.3f)  "
                "dialog/engine %5.2f (min %5.2f)\n",
                what, r.dialogRows, dm, dn, em, en, dm / em, dn / en);
    std::printf("%-12s list alone %8.3f s (%.2f ms a row): dialog / (engine + list alone) %.2f\n", "",
                r.listFloor, r.dialogRows > 0 ? 1000.0 * r.listFloor / r.dialogRows : 0.0,
                dm / (em + r.listFloor));
}

}  // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    if (count < 1 || rounds < 1) {
        std::fprintf(stderr, "usage: veltmor_dialog_bench [shortcuts] [rounds]\n");
        return 2;
    }
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_LISTVIEW_CLASSES};
    InitCommonControlsEx(&icc);
    if (FAILED(CoInitialize(NULL)))
        return 1;

    wintest::CTempFolder base("vd");
    CBenchTree tree;
    if (base.Path().empty() || !tree.Build(base.Path(), count)) {
        std::fprintf(stderr, "veltmor_dialog_bench: cannot build the tree (error %lu)\n", GetLastError());
        return 1;
    }
    std::printf("tree: %d shortcuts (%d broken) in %d folders\n", count, tree.Broken(), tree.Folders());

    const Memory before = MemoryNow();
    gui::ModalDialogThread thread(&gui::NewMainDialog);
    const HWND dialog = thread.WaitForWindow();
    if (!dialog) {
        std::fprintf(stderr, "veltmor_dialog_bench: the dialog did not open (is there a display?)\n");
        return 1;
    }
    const Memory opened = MemoryNow();

    scan::ScanOptions defaults;
    defaults.scanFrom = tree.TreeRoot();
    scan::ScanOptions all = defaults;
    all.displayAll = true;

    Result broken = Compare(dialog, defaults, rounds);
    broken.listFloor = ListFloor(thread, dialog, broken.dialogRows);
    Result every = Compare(dialog, all, rounds);
    every.listFloor = ListFloor(thread, dialog, every.dialogRows);
    DialogScan(dialog, all);  // every row listed for the memory figures
    const Memory listed = MemoryNow();

    Report("defaults", broken);
    Report("display all", every);
    std::printf("memory: before the dialog %.1f MB, dialog open %.1f MB, %d rows listed %.1f MB "
                "(private %.1f MB), peak working set %.1f MB\n",
                before.workingSet, opened.workingSet, every.dialogRows, listed.workingSet,
                listed.privateBytes, listed.peakWorkingSet);
    std::printf("rows: %.0f bytes of working set per listed row\n",
                (listed.workingSet - opened.workingSet) * 1024.0 * 1024.0 /
                    (every.dialogRows > 0 ? every.dialogRows : 1));

    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    thread.Join();
    AfxGetApp()->m_pMainWnd = nullptr;

    const bool agree = broken.dialogRows == broken.engineRows && broken.dialogRows == tree.Broken() &&
                       every.dialogRows == every.engineRows && every.dialogRows == count;
    if (!agree) {
        std::fprintf(stderr, "veltmor_dialog_bench: the dialog and the engine listed different rows\n");
        return 1;
    }
    CoUninitialize();
    return 0;
}
