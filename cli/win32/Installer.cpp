#include "Installer.h"

#include <windows.h>
#include <msi.h>

#include <mutex>

#include "RegistryKey.h"
#include "scan/Win32Text.h"

namespace cli {

namespace {

using InstallerState = INSTALLSTATE(WINAPI*)(LPCWSTR);
using ComponentPath = INSTALLSTATE(WINAPI*)(LPCWSTR, LPCWSTR, LPWSTR, DWORD*);
using ShortcutTarget = UINT(WINAPI*)(LPCWSTR, LPWSTR, LPWSTR, LPWSTR);
// MsiGetProductInfoExW (Windows Installer 3.0), declared by msi.h only for
// builds that require it; looked up at run time here.
using ProductInfoEx = UINT(WINAPI*)(LPCWSTR, LPCWSTR, DWORD, LPCWSTR, LPWSTR, LPDWORD);
// Its MSIINSTALLCONTEXT values.
constexpr DWORD kUserManaged = 1, kUserUnmanaged = 2, kMachine = 4;

// Looked up once for the process; the calls themselves may come from every
// reader thread at once.
struct Msi {
    InstallerState queryProductState = nullptr;
    ComponentPath getComponentPath = nullptr;
    ShortcutTarget getShortcutTarget = nullptr;
    ProductInfoEx getProductInfoEx = nullptr;

    bool Usable() const { return queryProductState && getComponentPath && getShortcutTarget && getProductInfoEx; }
};

const Msi& LoadMsi()
{
    static Msi msi;
    static std::once_flag once;
    std::call_once(once, [] {
        // From System32 only: never a msi.dll lying beside a shortcut or in
        // the current folder. Kept loaded for the process.
        const HMODULE module = ::LoadLibraryExW(L"msi.dll", NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (!module)
            return;
        msi.queryProductState = reinterpret_cast<InstallerState>(
            reinterpret_cast<void*>(::GetProcAddress(module, "MsiQueryProductStateW")));
        msi.getComponentPath = reinterpret_cast<ComponentPath>(
            reinterpret_cast<void*>(::GetProcAddress(module, "MsiGetComponentPathW")));
        msi.getShortcutTarget = reinterpret_cast<ShortcutTarget>(
            reinterpret_cast<void*>(::GetProcAddress(module, "MsiGetShortcutTargetW")));
        msi.getProductInfoEx = reinterpret_cast<ProductInfoEx>(
            reinterpret_cast<void*>(::GetProcAddress(module, "MsiGetProductInfoExW")));
    });
    return msi;
}

InstalledAnswer Answer(InstalledAnswer::Verdict verdict, const std::string& detail)
{
    return InstalledAnswer{verdict, detail};
}

std::string Utf8(const wchar_t* text)
{
    return scan::Narrow(text, CP_UTF8);
}

// The product's state in one context of that user: 1 known (installed or
// advertised), 0 unknown there, -1 no answer.
int KnownIn(const Msi& msi, const wchar_t* product, const std::wstring& sid, DWORD context,
            std::string& detail)
{
    wchar_t state[16] = L"";
    DWORD length = sizeof state / sizeof state[0];
    const UINT result = msi.getProductInfoEx(product, context == kMachine ? NULL : sid.c_str(),
                                             context, L"State", state, &length);
    if (result == ERROR_UNKNOWN_PRODUCT)
        return 0;
    if (result != ERROR_SUCCESS) {
        detail = "the installer gave error " + std::to_string(result) + " for that user's product " + Utf8(product);
        return -1;
    }
    // INSTALLSTATE_DEFAULT (5) or INSTALLSTATE_ADVERTISED (1).
    if (std::wstring(state) == L"5" || std::wstring(state) == L"1")
        return 1;
    detail = "the installer gives that user's product " + Utf8(product) + " the state " + Utf8(state);
    return -1;
}

}  // namespace

InstalledAnswer AskInstaller(const std::wstring& openPath, const std::string& userSid)
{
    using Verdict = InstalledAnswer::Verdict;
    const Msi& msi = LoadMsi();
    if (!msi.Usable())
        return Answer(Verdict::Unverified, "the Windows Installer (msi.dll) cannot be loaded");
    wchar_t product[39] = L"", feature[MAX_FEATURE_CHARS + 1] = L"", component[39] = L"";
    const UINT read = msi.getShortcutTarget(openPath.c_str(), product, feature, component);
    if (read != ERROR_SUCCESS || !product[0])
        return Answer(Verdict::Unverified, "the installer cannot read the shortcut's descriptor (error " +
                                               std::to_string(read) + ")");
    const std::string named = "product " + Utf8(product);
    if (!userSid.empty()) {
        // As another account: that user's own installs and the machine's.
        const std::wstring sid = scan::Widen(userSid, CP_UTF8);
        std::string detail;
        bool unknown = true;
        for (DWORD context : {kUserManaged, kUserUnmanaged, kMachine}) {
            const int known = KnownIn(msi, product, sid, context, detail);
            if (known > 0)
                return Answer(Verdict::Installed, named + " is installed");
            unknown = unknown && known == 0;
        }
        return unknown ? Answer(Verdict::Gone, "the installer knows no " + named + " for that user or the machine")
                       : Answer(Verdict::Unverified, detail);
    }
    const INSTALLSTATE state = msi.queryProductState(product);
    if (state == INSTALLSTATE_UNKNOWN)
        return Answer(Verdict::Gone, "the installer knows no " + named);
    if (state != INSTALLSTATE_DEFAULT && state != INSTALLSTATE_ADVERTISED)
        return Answer(Verdict::Unverified, "the installer gives " + named + " the state " + std::to_string(state) +
                                               (state == INSTALLSTATE_ABSENT ? " (installed for another user)" : ""));
    if (component[0] && msi.getComponentPath(product, component, NULL, NULL) == INSTALLSTATE_UNKNOWN)
        return Answer(Verdict::Unverified, "the installer knows " + named + " but not its component " + Utf8(component));
    return Answer(Verdict::Installed, named + " is installed");
}

InstalledAnswer AskClickOnce(const AppReference& reference, const std::string& userSid, bool hiveLoaded)
{
    using Verdict = InstalledAnswer::Verdict;
    static const char kUninstall[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
    if (!userSid.empty() && !hiveLoaded)
        return Answer(Verdict::Unverified, "that user's registry is not loaded");
    CRegistryKey uninstall;
    const LONG opened = userSid.empty() ? uninstall.Try(HKEY_CURRENT_USER, kUninstall)
                                        : uninstall.Try(HKEY_USERS, userSid + "\\" + kUninstall);
    // No uninstall key at all: nothing is installed for the user.
    if (opened == ERROR_FILE_NOT_FOUND)
        return Answer(Verdict::Gone, "the user's uninstall key does not exist");
    if (opened != ERROR_SUCCESS)
        return Answer(Verdict::Unverified, "the user's uninstall key cannot be read (error " + std::to_string(opened) + ")");
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name / sizeof name[0];
        const LONG result = ::RegEnumKeyExW(uninstall.Get(), i, name, &length, NULL, NULL, NULL, NULL);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result != ERROR_SUCCESS)
            return Answer(Verdict::Unverified, "the user's uninstall key cannot be listed (error " +
                                                   std::to_string(result) + ")");
        CRegistryKey entry;
        const LONG entryOpened = entry.Try(uninstall.Get(), Utf8(name));
        if (entryOpened == ERROR_FILE_NOT_FOUND)
            continue;  // removed while listed
        if (entryOpened != ERROR_SUCCESS)
            return Answer(Verdict::Unverified, "the uninstall entry " + Utf8(name) + " cannot be read");
        std::string appId, uninstallString;
        entry.Text("ShortcutAppId", appId);
        entry.Text("UninstallString", uninstallString);
        if (EntryIsApplication(appId, uninstallString, reference))
            return Answer(Verdict::Installed, "installed: the uninstall entry " + Utf8(name));
    }
    return Answer(Verdict::Gone, "no uninstall entry of the user's is " + reference.name);
}

}  // namespace cli
