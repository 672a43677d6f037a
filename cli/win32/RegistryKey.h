// An open registry key of the scanner's, closed when it goes. Names and
// texts are UTF-8. Windows only.
#ifndef VELTMOR_CLI_WIN32_REGISTRYKEY_H
#define VELTMOR_CLI_WIN32_REGISTRYKEY_H

#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "scan/PathText.h"
#include "scan/Win32Text.h"

namespace cli {

class CRegistryKey {
public:
    CRegistryKey() = default;
    ~CRegistryKey()
    {
        if (m_key)
            ::RegCloseKey(m_key);
    }
    CRegistryKey(const CRegistryKey&) = delete;
    CRegistryKey& operator=(const CRegistryKey&) = delete;

    bool Open(HKEY parent, const std::string& path, REGSAM extra = 0)
    {
        return Try(parent, path, extra) == ERROR_SUCCESS;
    }
    LONG Try(HKEY parent, const std::string& path, REGSAM extra = 0)
    {
        return ::RegOpenKeyExW(parent, scan::Widen(path, CP_UTF8).c_str(), 0, KEY_READ | extra, &m_key);
    }
    HKEY Get() const { return m_key; }

    // A string value as stored: REG_EXPAND_SZ keeps its %VARIABLES%.
    bool Text(const std::wstring& name, std::string& text) const
    {
        DWORD kind = 0, size = 0;
        if (::RegQueryValueExW(m_key, name.c_str(), NULL, &kind, NULL, &size) != ERROR_SUCCESS ||
            (kind != REG_SZ && kind != REG_EXPAND_SZ))
            return false;
        std::wstring data(size / sizeof(wchar_t) + 1, L'\0');  // a stored string need not end in a null
        if (::RegQueryValueExW(m_key, name.c_str(), NULL, &kind, reinterpret_cast<BYTE*>(&data[0]), &size) !=
            ERROR_SUCCESS)
            return false;
        data.resize(std::min<std::size_t>(size / sizeof(wchar_t), data.size()));
        text = scan::Narrow(data.c_str(), CP_UTF8);
        return true;
    }
    bool Text(const char* name, std::string& text) const { return Text(scan::Widen(name, CP_UTF8), text); }

    // Every string value, names in upper case (variables are named in any case).
    void AllTexts(std::map<std::string, std::string>& texts) const
    {
        std::vector<wchar_t> name(16384);
        for (DWORD i = 0;; ++i) {
            DWORD length = static_cast<DWORD>(name.size());
            const LONG result = ::RegEnumValueW(m_key, i, name.data(), &length, NULL, NULL, NULL, NULL);
            if (result == ERROR_NO_MORE_ITEMS)
                return;
            std::string text;
            const std::wstring wideName(name.data(), length);
            if (result != ERROR_SUCCESS || !Text(wideName, text))
                continue;
            texts[scan::AsciiUpper(scan::Narrow(wideName, CP_UTF8))] = text;
        }
    }

private:
    HKEY m_key = NULL;  // we own it
};

}  // namespace cli

#endif
