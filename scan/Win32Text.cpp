#include "Win32Text.h"

#include <cstdio>

namespace scan {

std::wstring Widen(const std::string& text, UINT codePage)
{
    if (text.empty())
        return std::wstring();
    const int size = static_cast<int>(text.size());
    const int n = ::MultiByteToWideChar(codePage, 0, text.data(), size, NULL, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), size, &wide[0], n);
    return wide;
}

std::string Narrow(const std::wstring& wide, UINT codePage)
{
    if (wide.empty())
        return std::string();
    const int size = static_cast<int>(wide.size());
    const int n = ::WideCharToMultiByte(codePage, 0, wide.data(), size, NULL, 0, NULL, NULL);
    if (n <= 0)
        return std::string();
    std::string text(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(codePage, 0, wide.data(), size, &text[0], n, NULL, NULL);
    return text;
}

bool ExactUtf8(const std::wstring& wide, std::string& utf8)
{
    utf8.clear();
    // Asked here rather than with WC_ERR_INVALID_CHARS, which Windows XP
    // does not know.
    for (std::size_t i = 0; i < wide.size(); ++i) {
        if (IS_HIGH_SURROGATE(wide[i]) && i + 1 < wide.size() && IS_LOW_SURROGATE(wide[i + 1]))
            ++i;
        else if (IS_HIGH_SURROGATE(wide[i]) || IS_LOW_SURROGATE(wide[i]))
            return false;
    }
    utf8 = Narrow(wide, CP_UTF8);
    return true;
}

bool ExactAnsi(const std::wstring& wide, std::string& ansi)
{
    ansi.clear();
    if (wide.empty())
        return true;
    const int size = static_cast<int>(wide.size());
    BOOL usedDefault = FALSE;
    const int n = ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, NULL, 0, NULL, &usedDefault);
    if (n <= 0 || usedDefault)
        return false;
    ansi.assign(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide.data(), size, &ansi[0], n, NULL, &usedDefault);
    // Some code pages map a character to another without saying so: only a
    // text that reads back the same is exact.
    return !usedDefault && Widen(ansi, CP_ACP) == wide;
}

std::string ErrorText(DWORD error)
{
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                         FORMAT_MESSAGE_IGNORE_INSERTS,
                                     NULL, error, 0, reinterpret_cast<wchar_t*>(&text), 0, NULL);
    std::wstring words = n && text ? std::wstring(text, n) : std::wstring();
    ::LocalFree(text);
    while (!words.empty() && (words.back() == L'\n' || words.back() == L'\r' || words.back() == L' ' ||
                              words.back() == L'.'))
        words.pop_back();
    char code[32];
    std::snprintf(code, sizeof code, "error %lu", static_cast<unsigned long>(error));
    return words.empty() ? std::string(code) : Narrow(words, CP_UTF8) + " (" + code + ")";
}

}  // namespace scan
