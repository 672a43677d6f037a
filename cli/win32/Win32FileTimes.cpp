#include "Win32FileTimes.h"

#include <windows.h>

#include <cstdio>

#include "cli/quarantine/QuarantineLayout.h"
#include "scan/Win32Text.h"

namespace cli {

std::string CWin32FileTimes::WriteTime(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    SYSTEMTIME utc;
    if (!::GetFileAttributesExW(scan::Widen(LongForm(path), CP_UTF8).c_str(), GetFileExInfoStandard, &data) ||
        !::FileTimeToSystemTime(&data.ftLastWriteTime, &utc))
        return std::string();
    char text[32];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02uZ", utc.wYear, utc.wMonth, utc.wDay, utc.wHour,
                  utc.wMinute, utc.wSecond);
    return text;
}

}  // namespace cli
