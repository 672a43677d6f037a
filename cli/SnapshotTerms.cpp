#include "SnapshotTerms.h"

namespace cli {

bool IsUtcTime(const std::string& time)
{
    static const char kForm[] = "dddd-dd-ddTdd:dd:ddZ";
    if (time.size() != sizeof kForm - 1)
        return false;
    for (std::size_t i = 0; i < time.size(); ++i)
        if (kForm[i] == 'd' ? (time[i] < '0' || time[i] > '9') : time[i] != kForm[i])
            return false;
    return true;
}

bool ParseAsOf(const std::string& text, std::string& time)
{
    std::string full = text;
    if (full.size() == 10)
        full += "T00:00:00Z";
    else if (full.size() == 17 && full.back() == 'Z')
        full = full.substr(0, 16) + ":00Z";
    if (!IsUtcTime(full))
        return false;
    time = full;
    return true;
}

}  // namespace cli
