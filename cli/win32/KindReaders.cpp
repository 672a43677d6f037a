#include "KindReaders.h"

#include <windows.h>

#include "Installer.h"
#include "Scoped.h"
#include "scan/LinkStructure.h"
#include "scan/Win32Text.h"

namespace cli {

namespace {

// The whole file, refused by its size before a byte is read.
bool ReadSmallFile(const std::wstring& path, std::string& bytes)
{
    const ScopedHandle file = OwnHandle(::CreateFileW(path.c_str(), GENERIC_READ,
                                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL));
    LARGE_INTEGER size;
    if (!file || !::GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 ||
        static_cast<unsigned long long>(size.QuadPart) > kLargestShortcutText)
        return false;
    bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
    DWORD read = 0;
    return bytes.empty() ||
           (::ReadFile(file.get(), &bytes[0], static_cast<DWORD>(bytes.size()), &read, NULL) && read == bytes.size());
}

bool FromCodePage(const std::string& bytes, std::string& utf8)
{
    const int length = ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                                             NULL, 0);
    if (length <= 0)
        return false;
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), &wide[0], length);
    return scan::ExactUtf8(wide, utf8);
}

void Judge(scan::ShortcutTarget& target, const InstalledAnswer& answer)
{
    using Verdict = InstalledAnswer::Verdict;
    target.judged = true;
    target.judgement.verdict = answer.verdict == Verdict::Installed ? scan::Verdict::Present
                               : answer.verdict == Verdict::Gone    ? scan::Verdict::Missing
                                                                    : scan::Verdict::Unverified;
    target.judgement.detail = answer.detail;
}

}  // namespace

MissingReason ReadTextShortcut(ShortcutKind kind, const std::wstring& openPath, const ProfileRecord* profile,
                               scan::ShortcutTarget& target)
{
    std::string bytes, text, problem;
    if (!ReadSmallFile(openPath, bytes))
        return MissingReason::Unreadable;
    target.digest = scan::Digest(bytes);
    if (kind == ShortcutKind::Url) {
        std::string url;
        if (!ReadUrlFile(bytes, FromCodePage, url, problem))
            return MissingReason::Unreadable;
        target.address = url;
        const UrlTarget named = UrlToTarget(url);
        switch (named.kind) {
        case UrlTarget::Kind::File:
            target.text = named.path;
            return MissingReason::None;
        case UrlTarget::Kind::NotAFile:
            return MissingReason::NotAFile;
        case UrlTarget::Kind::Unsure:
            target.judged = true;
            target.judgement = scan::Presence{scan::Verdict::Unverified, named.problem + ": " + url};
            return MissingReason::None;
        }
        return MissingReason::Unreadable;
    }
    AppReference reference;
    if (!DecodeShortcutText(bytes, FromCodePage, text) || !ParseAppReference(text, reference, problem))
        return MissingReason::Unreadable;
    target.address = reference.deployment + "#" + reference.name;
    Judge(target, AskClickOnce(reference, profile ? profile->sid : std::string(), profile && profile->hiveLoaded));
    return target.judgement.ProvenMissing() ? MissingReason::Missing : MissingReason::None;
}

MissingReason JudgeAdvertised(const std::wstring& openPath, const ProfileRecord* profile, scan::ShortcutTarget& target)
{
    const InstalledAnswer answer = AskInstaller(openPath, profile ? profile->sid : std::string());
    if (answer.verdict == InstalledAnswer::Verdict::Installed)
        return MissingReason::InstallerManaged;
    Judge(target, answer);
    return answer.verdict == InstalledAnswer::Verdict::Gone ? MissingReason::InstallerOrphaned : MissingReason::None;
}

}  // namespace cli
