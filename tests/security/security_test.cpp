// The programs never run code from a planted DLL, and keep the system's
// error boxes away: the built programs' PE headers and imports, the start-up
// hardening in this process, and both programs started from a folder where
// CTL3D32.DLL and COMCTL32.DLL have been planted, beside them and in their
// current folder.
#include <windows.h>
#include <tlhelp32.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "ChildProcess.h"
#include "GuiHarness.h"
#include "TestFiles.h"
#include "framework/ProcessHardening.h"
#include "res/resource.h"

namespace {

std::string FromEnvironment(const char* name)
{
    const std::string unixPath = wintest::Environment(name);
    return unixPath.empty() ? std::string() : wintest::UnixToWindows(unixPath);
}

std::string Lower(std::string text)
{
    if (!text.empty())
        ::CharLowerBuffA(&text[0], static_cast<DWORD>(text.size()));
    return text;
}

std::string SystemFolder()
{
    char folder[MAX_PATH] = "";
    ::GetSystemDirectoryA(folder, MAX_PATH);
    return folder;
}

std::string FolderOf(const std::string& path)
{
    const std::size_t slash = path.find_last_of('\\');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// What the test asks of a PE image.
struct PeFacts {
    bool readable = false;
    bool is64 = false;
    WORD dllCharacteristics = 0;
    DWORD relocationSize = 0;  // ASLR needs the relocations to move the image
    std::vector<std::string> imports;
    bool stackProtector = false;
};

PeFacts ReadPe(const std::string& path)
{
    PeFacts facts;
    std::string bytes;
    if (!wintest::ReadBytes(path, bytes))
        return facts;
    auto at = [&](std::size_t offset, auto& into) {
        if (offset > bytes.size() || bytes.size() - offset < sizeof into)
            return false;
        std::memcpy(&into, bytes.data() + offset, sizeof into);
        return true;
    };
    IMAGE_DOS_HEADER dos = {};
    DWORD signature = 0;
    IMAGE_FILE_HEADER file = {};
    WORD magic = 0;
    const std::size_t nt = at(0, dos) ? static_cast<std::size_t>(dos.e_lfanew) : 0;
    const std::size_t optional = nt + sizeof signature + sizeof file;
    if (dos.e_magic != IMAGE_DOS_SIGNATURE || !at(nt, signature) || signature != IMAGE_NT_SIGNATURE ||
        !at(nt + sizeof signature, file) || !at(optional, magic))
        return facts;
    // The two optional headers differ in size before their data directories.
    facts.is64 = magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC;
    const std::size_t directories = optional + (facts.is64 ? offsetof(IMAGE_OPTIONAL_HEADER64, DataDirectory)
                                                           : offsetof(IMAGE_OPTIONAL_HEADER32, DataDirectory));
    IMAGE_DATA_DIRECTORY imports = {}, relocations = {};
    std::vector<IMAGE_SECTION_HEADER> sections(file.NumberOfSections);
    bool ok = at(optional + offsetof(IMAGE_OPTIONAL_HEADER32, DllCharacteristics), facts.dllCharacteristics) &&
              at(directories + IMAGE_DIRECTORY_ENTRY_IMPORT * sizeof imports, imports) &&
              at(directories + IMAGE_DIRECTORY_ENTRY_BASERELOC * sizeof relocations, relocations);
    for (std::size_t i = 0; ok && i < sections.size(); ++i)
        ok = at(optional + file.SizeOfOptionalHeader + i * sizeof(IMAGE_SECTION_HEADER), sections[i]);
    auto fileOffset = [&](DWORD rva) -> std::size_t {
        for (const IMAGE_SECTION_HEADER& s : sections)
            if (rva >= s.VirtualAddress && rva - s.VirtualAddress < s.SizeOfRawData)
                return s.PointerToRawData + (rva - s.VirtualAddress);
        return bytes.size();  // nowhere: every read there fails
    };
    IMAGE_IMPORT_DESCRIPTOR entry = {};
    for (std::size_t offset = fileOffset(imports.VirtualAddress); ok && (ok = at(offset, entry)) && entry.Name;
         offset += sizeof entry) {
        const std::size_t name = fileOffset(entry.Name);
        const std::size_t end = name < bytes.size() ? bytes.find('\0', name) : std::string::npos;
        ok = end != std::string::npos;
        if (ok)
            facts.imports.push_back(bytes.substr(name, end - name));
    }
    facts.readable = ok;
    facts.relocationSize = relocations.Size;
    // libssp's __stack_chk_fail is linked in, and with it its message, only
    // when compiled code calls it: stripping the symbols leaves the text.
    facts.stackProtector = bytes.find("stack smashing detected") != std::string::npos;
    return facts;
}

TEST(Security, BuiltProgramsHaveAslrDepAndCanariesAndDoNotImportComctl32)
{
    struct Program {
        std::string path;
        bool is64;
    };
    std::vector<Program> programs = {{FromEnvironment("VELTMOR_PROGRAM"), sizeof(void*) == 8},
                                     {FromEnvironment("VELTMOR_SCANNER"), sizeof(void*) == 8}};
    const std::string win32 = FromEnvironment("VELTMOR_WIN32_BUILD");
    for (const char* relative : {"\\app\\Veltmor.exe", "\\cli\\veltmor-scan.exe"})
        if (sizeof(void*) == 8 && !win32.empty() &&
            ::GetFileAttributesA((win32 + relative).c_str()) != INVALID_FILE_ATTRIBUTES)
            programs.push_back({win32 + relative, false});

    for (const Program& program : programs) {
        SCOPED_TRACE(program.path);
        std::printf("PE headers of %s\n", program.path.c_str());
        const PeFacts pe = ReadPe(program.path);
        ASSERT_TRUE(pe.readable) << "not a whole PE image";
        EXPECT_EQ(pe.is64, program.is64);
        EXPECT_TRUE(pe.dllCharacteristics & IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE) << "no ASLR";
        EXPECT_GT(pe.relocationSize, 0u) << "no relocations: the image cannot move";
        EXPECT_TRUE(pe.dllCharacteristics & IMAGE_DLLCHARACTERISTICS_NX_COMPAT) << "no DEP";
        if (pe.is64) {
            EXPECT_TRUE(pe.dllCharacteristics & IMAGE_DLLCHARACTERISTICS_HIGH_ENTROPY_VA) << "no high-entropy ASLR";
        }
        EXPECT_TRUE(pe.stackProtector) << "no stack protector";
        EXPECT_FALSE(pe.imports.empty());
        for (const std::string& dll : pe.imports)
            EXPECT_NE(Lower(dll), "comctl32.dll");
    }
}

// The start-up call in this process: error boxes off with the bits already
// set kept, and a DLL beside the program or in the current folder out of
// reach by name.
TEST(Security, HardeningKeepsErrorBoxesOffAndLoadsNoDllByNameFromProgramOrCurrentFolder)
{
    const std::string plant = FromEnvironment("VELTMOR_PLANT");
    ASSERT_FALSE(plant.empty()) << "VELTMOR_PLANT is not set";
    char self[MAX_PATH] = "";
    ::GetModuleFileNameA(nullptr, self, MAX_PATH);
    ASSERT_EQ(Lower(FolderOf(plant)), Lower(FolderOf(self))) << "the DLL is not beside this program";
    const std::string name = plant.substr(plant.find_last_of('\\') + 1);

    gui::TempTree tree;
    const std::string current = tree.Make("current");
    ASSERT_TRUE(::CopyFileA(plant.c_str(), (current + "\\" + name).c_str(), FALSE));
    char previousFolder[MAX_PATH] = "";
    ::GetCurrentDirectoryA(MAX_PATH, previousFolder);
    ASSERT_TRUE(::SetCurrentDirectoryA(current.c_str()));

    ::SetErrorMode(SEM_NOGPFAULTERRORBOX);
    AfxHardenProcess();
    const UINT mode = ::SetErrorMode(0);
    ::SetErrorMode(mode);
    EXPECT_EQ(mode, static_cast<UINT>(SEM_NOGPFAULTERRORBOX | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX));

    const HMODULE byName = ::LoadLibraryA(name.c_str());
    EXPECT_EQ(byName, nullptr) << "loaded by name from a folder outside the system folder";
    if (byName)
        ::FreeLibrary(byName);
    // The DLL itself loads: only the search kept it out.
    const HMODULE byPath = ::LoadLibraryA(plant.c_str());
    EXPECT_NE(byPath, nullptr);
    if (byPath)
        ::FreeLibrary(byPath);
    ::SetCurrentDirectoryA(previousFolder);
}

// A folder holding copies of both programs with the planted DLLs beside them
// and in a current folder of their own, and a tree to scan: one broken
// shortcut and one whose target is there.
class PlantedFolders : public ::testing::Test {
protected:
    void SetUp() override
    {
        const std::string plant = FromEnvironment("VELTMOR_PLANT");
        const std::string dialog = FromEnvironment("VELTMOR_PROGRAM");
        const std::string scanner = FromEnvironment("VELTMOR_SCANNER");
        ASSERT_FALSE(plant.empty() || dialog.empty() || scanner.empty()) << "VELTMOR_ variables not set";
        m_beside = m_tree.Make("program");
        m_current = m_tree.Make("current");
        m_scanned = m_tree.Make("scanned");
        m_mark = m_tree.Path() + "\\mark.txt";
        m_dialog = m_beside + "\\Veltmor.exe";
        m_scanner = m_beside + "\\veltmor-scan.exe";
        ASSERT_TRUE(::CopyFileA(dialog.c_str(), m_dialog.c_str(), FALSE));
        ASSERT_TRUE(::CopyFileA(scanner.c_str(), m_scanner.c_str(), FALSE));
        for (const std::string& folder : {m_beside, m_current})
            for (const char* name : {"\\CTL3D32.DLL", "\\COMCTL32.DLL"})
                ASSERT_TRUE(::CopyFileA(plant.c_str(), (folder + name).c_str(), FALSE));
        ASSERT_TRUE(gui::SaveShortcut(m_scanned + "\\broken.lnk", m_tree.Path() + "\\gone\\gone.exe"));
        ASSERT_TRUE(gui::SaveShortcut(m_scanned + "\\present.lnk", m_dialog));

        // Wine told, for these two programs alone, to load CTL3D32 only from a
        // file, as current Windows has no copy of its own, and to prefer a
        // file to its own COMCTL32 wherever the search finds one. Wine takes
        // a child's WINEDLLOVERRIDES from its own start, not from the parent's
        // environment: the prefix's registry says it instead.
        for (const char* program : {"Veltmor.exe", "veltmor-scan.exe"}) {
            HKEY key = nullptr;
            ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, OverridesKey(program).c_str(), 0, nullptr, 0,
                                        KEY_SET_VALUE, nullptr, &key, nullptr),
                      ERROR_SUCCESS);
            for (const auto& value : {std::make_pair("ctl3d32", "native"), std::make_pair("comctl32", "native,builtin")})
                ::RegSetValueExA(key, value.first, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.second),
                                 static_cast<DWORD>(std::strlen(value.second) + 1));
            ::RegCloseKey(key);
        }
        // What they inherit: the mark's file and the current folder.
        ::SetEnvironmentVariableA("VELTMOR_MARK", m_mark.c_str());
        ::GetCurrentDirectoryA(MAX_PATH, m_previousFolder);
        ASSERT_TRUE(::SetCurrentDirectoryA(m_current.c_str()));
    }

    void TearDown() override
    {
        ::SetCurrentDirectoryA(m_previousFolder);
        ::SetEnvironmentVariableA("VELTMOR_MARK", nullptr);
        for (const char* program : {"Veltmor.exe", "veltmor-scan.exe"}) {
            ::RegDeleteKeyA(HKEY_CURRENT_USER, OverridesKey(program).c_str());
            ::RegDeleteKeyA(HKEY_CURRENT_USER, OverridesKey(program, false).c_str());
        }
    }

    static std::string OverridesKey(const char* program, bool overrides = true)
    {
        return std::string("Software\\Wine\\AppDefaults\\") + program + (overrides ? "\\DllOverrides" : "");
    }

    // The paths of the planted DLLs that ran, one a line; empty when none did.
    std::string Mark() const
    {
        std::string text;
        return wintest::ReadBytes(m_mark, text) ? text : std::string();
    }

    // Starts the dialog program, waits for its window, hands the window to
    // check, then closes it and expects a clean end.
    void RunDialog(const std::function<void(HWND, DWORD)>& check)
    {
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        std::string commandLine = "\"" + m_dialog + "\"";
        ASSERT_TRUE(::CreateProcessA(m_dialog.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                                     nullptr, &si, &pi));
        const HWND window = gui::WaitForProcessWindow(pi.dwProcessId, "Veltmor Menu");
        EXPECT_NE(window, nullptr) << "the main dialog did not open";
        if (window) {
            check(window, pi.dwProcessId);
            ::PostMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        } else {
            ::TerminateProcess(pi.hProcess, 99);
        }
        EXPECT_EQ(::WaitForSingleObject(pi.hProcess, 10000), WAIT_OBJECT_0) << "the program did not end";
        DWORD code = 1234;
        ::GetExitCodeProcess(pi.hProcess, &code);
        EXPECT_EQ(code, 0u);
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
    }

    gui::TempTree m_tree;
    std::string m_beside, m_current, m_scanned, m_mark, m_dialog, m_scanner;
    char m_previousFolder[MAX_PATH] = "";
};

// Every module of a running process, by full path.
std::vector<std::string> Modules(DWORD pid)
{
    std::vector<std::string> modules;
    const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    if (snapshot == INVALID_HANDLE_VALUE)
        return modules;
    MODULEENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Module32First(snapshot, &entry); more; more = ::Module32Next(snapshot, &entry))
        modules.push_back(entry.szExePath);
    ::CloseHandle(snapshot);
    return modules;
}

TEST_F(PlantedFolders, NeitherProgramRunsThemAndBothStillScan)
{
    RunDialog([&](HWND window, DWORD pid) {
        std::string comctl;
        for (const std::string& module : Modules(pid))
            if (Lower(module.substr(module.find_last_of('\\') + 1)) == "comctl32.dll")
                comctl = module;
        EXPECT_EQ(Lower(FolderOf(comctl)), Lower(SystemFolder())) << "COMCTL32 in use: " << comctl;

        // A scan of the tree lists its one broken shortcut. The edit's text
        // crosses processes; the list is only counted from here.
        DWORD_PTR result = 0;
        ASSERT_TRUE(::SendMessageTimeoutA(::GetDlgItem(window, IDC_EDIT), WM_SETTEXT, 0,
                                          reinterpret_cast<LPARAM>(m_scanned.c_str()), SMTO_BLOCK, 10000,
                                          &result));
        ::PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDC_SCAN, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(window, IDC_SCAN)));
        const HWND list = ::GetDlgItem(window, IDC_LIST);
        DWORD_PTR rows = 0;
        for (int wait = 0; wait < 100 && rows != 1; ++wait, ::Sleep(100))
            ::SendMessageTimeoutA(list, LVM_GETITEMCOUNT, 0, 0, SMTO_BLOCK, 10000, &rows);
        EXPECT_EQ(rows, 1u) << "the scan did not list the one broken shortcut";
    });

    const clitest::ChildResult scan = clitest::RunChild(m_scanner, {m_scanned});
    ASSERT_TRUE(scan.started);
    EXPECT_EQ(scan.status, 1u) << scan.err;
    EXPECT_NE(scan.out.find("broken.lnk"), std::string::npos) << scan.out;
    EXPECT_EQ(scan.out.find("present.lnk"), std::string::npos) << scan.out;

    EXPECT_EQ(Mark(), "") << "planted DLLs ran";
}

// The same DLL put in the system folder is taken: the test's DLL and Wine's
// settings do work, and the 3-D look stays where the system has CTL3D32.
TEST_F(PlantedFolders, Ctl3dFromTheSystemFolderIsStillUsed)
{
    const std::string system = SystemFolder() + "\\CTL3D32.DLL";
    const std::string saved = m_tree.Path() + "\\ctl3d32.saved";
    const bool hadOne = ::MoveFileA(system.c_str(), saved.c_str()) != FALSE;
    ASSERT_TRUE(::CopyFileA(FromEnvironment("VELTMOR_PLANT").c_str(), system.c_str(), FALSE));
    RunDialog([](HWND, DWORD) {});
    EXPECT_EQ(Lower(Mark()), Lower(system + "\n"));
    ::DeleteFileA(system.c_str());
    if (hadOne)
        ::MoveFileA(saved.c_str(), system.c_str());
}

}  // namespace
