#include "SnapshotList.h"

#include <algorithm>
#include <set>

#include <nlohmann/json.hpp>

#include "cli/JsonBounds.h"
#include "cli/quarantine/QuarantineLayout.h"
#include "scan/PathText.h"

namespace cli {

namespace {

using Json = nlohmann::ordered_json;

const char kKind[] = "veltmor-scan snapshot";
constexpr int kSchema = 1;
// The document, its places or items, one of them: nothing of ours is deeper.
constexpr int kDeepest = 3;

// The length of the UTF-8 sequence at text[i] (a byte of 0x80 or more);
// 0 when it is not one.
std::size_t Utf8Length(const std::string& text, std::size_t i)
{
    const auto at = [&text](std::size_t k) { return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u; };
    const unsigned lead = at(i);
    std::size_t n = 0;
    unsigned low = 0x80, high = 0xBF;  // of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        n = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        n = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        n = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at(i + 1) < low || at(i + 1) > high)
        return 0;
    for (std::size_t k = 2; k < n; ++k)
        if (at(i + k) < 0x80 || at(i + k) > 0xBF)
            return 0;
    return n;
}

// text as a JSON string, appended to out; bytes that are not UTF-8 become
// U+FFFD, as nlohmann's dump with replace would write them.
void Quote(const std::string& text, std::string& out)
{
    static const char kHex[] = "0123456789abcdef";
    out += '"';
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t n = Utf8Length(text, i);
            if (n)
                out.append(text, i, n);
            else
                out += "\xEF\xBF\xBD";
            i += n ? n : 1;
            continue;
        }
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        } else {
            out += static_cast<char>(c);
        }
        ++i;
    }
    out += '"';
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsHex(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return IsDigit(c) || (c >= 'a' && c <= 'f'); });
}

// "size:sha256" as scan::Digest writes it; size read out.
bool DigestSize(const std::string& digest, std::uint64_t& size)
{
    const std::size_t colon = digest.find(':');
    if (colon == std::string::npos || colon == 0 || colon > 19 || digest.size() - colon - 1 != 64 ||
        !IsHex(digest.substr(colon + 1)))
        return false;
    size = 0;
    for (std::size_t i = 0; i < colon; ++i) {
        if (!IsDigit(digest[i]))
            return false;
        size = size * 10 + static_cast<std::uint64_t>(digest[i] - '0');
    }
    return true;
}

// Text members only where text is written; a missing one reads as "".
bool Text(const Json& object, const char* key, std::string& value)
{
    const auto member = object.find(key);
    if (member == object.end()) {
        value.clear();
        return true;
    }
    if (!member->is_string())
        return false;
    value = member->get<std::string>();
    return true;
}

bool Index(const Json& object, const char* key, std::uint64_t& value)
{
    const auto member = object.find(key);
    if (member == object.end() || !member->is_number_unsigned())
        return false;
    value = member->get<std::uint64_t>();
    return true;
}

bool Fail(std::string& problem, const std::string& what)
{
    problem = what;
    return false;
}

std::string Key(const std::string& path)
{
    return scan::AsciiLower(path);
}

}  // namespace

std::string SnapshotText(const SnapshotList& list)
{
    // Written by hand, one item a line: a list of 10,000 shortcuts is
    // written in milliseconds, and stays readable.
    std::string text = "{\n\"kind\": \"" + std::string(kKind) + "\",\n\"schema\": " + std::to_string(kSchema) +
                       ",\n\"time\": ";
    Quote(list.time, text);
    text += ",\n\"machine\": ";
    Quote(list.machine, text);
    text += ",\n\"version\": ";
    Quote(list.version, text);
    text += ",\n\"places\": [";
    for (std::size_t i = 0; i < list.places.size(); ++i) {
        const SnapshotPlace& place = list.places[i];
        text += i ? ",\n  {\"folder\":" : "\n  {\"folder\":";
        Quote(place.folder, text);
        text += ",\"location\":";
        Quote(place.location, text);
        text += ",\"profile\":";
        Quote(place.profile, text);
        text += "}";
    }
    text += list.places.empty() ? "],\n\"items\": [" : "\n],\n\"items\": [";
    text.reserve(text.size() + list.items.size() * 300);
    for (std::size_t i = 0; i < list.items.size(); ++i) {
        const SnapshotItem& item = list.items[i];
        text += i ? ",\n  {\"shortcut\":" : "\n  {\"shortcut\":";
        Quote(item.shortcut, text);
        text += ",\"digest\":";
        Quote(item.digest, text);
        text += ",\"size\":" + std::to_string(item.size) + ",\"written\":";
        Quote(item.written, text);
        text += ",\"place\":" + std::to_string(item.place) + ",\"target\":";
        Quote(item.target, text);
        text += ",\"status\":";
        Quote(item.status, text);
        text += ",\"reason\":";
        Quote(item.reason, text);
        text += ",\"kind\":";
        Quote(item.kind, text);
        text += "}";
    }
    return text + (list.items.empty() ? "]\n}\n" : "\n]\n}\n");
}

void ListDigests(const std::string& text, std::vector<std::string>& hex)
{
    static const std::string kKey = "\"digest\":\"";
    for (std::size_t at = text.find(kKey); at != std::string::npos; at = text.find(kKey, at + 1)) {
        const std::size_t colon = text.find(':', at + kKey.size());
        if (colon != std::string::npos && colon - at - kKey.size() <= 19 && text.size() > colon + 65 &&
            text[colon + 65] == '"' && IsHex(text.substr(colon + 1, 64)))
            hex.push_back(text.substr(colon + 1, 64));
    }
}

bool ParseSnapshot(const std::string& text, SnapshotList& list, std::string& problem)
{
    if (text.size() > kLargestSnapshotList)
        return Fail(problem, "larger than a snapshot list can be");
    if (!WithinDepth(text, kDeepest))
        return Fail(problem, "nested deeper than a snapshot list");
    const Json document = Json::parse(text, nullptr, false);
    if (!document.is_object())
        return Fail(problem, "not a JSON object");
    std::string kind;
    std::uint64_t schema = 0;
    if (!Text(document, "kind", kind) || kind != kKind || !Index(document, "schema", schema) || schema != kSchema)
        return Fail(problem, "not a snapshot list of this version");
    SnapshotList read;
    if (!Text(document, "time", read.time) || !IsUtcTime(read.time) || !Text(document, "machine", read.machine) ||
        !Text(document, "version", read.version))
        return Fail(problem, "its time, machine or version is not text of their form");
    const auto places = document.find("places");
    const auto items = document.find("items");
    if (places == document.end() || !places->is_array() || items == document.end() || !items->is_array())
        return Fail(problem, "no places or items");
    if (places->size() > kMostSnapshotPlaces || items->size() > kMostSnapshotItems)
        return Fail(problem, "more places or items than a snapshot list holds");
    for (const Json& entry : *places) {
        SnapshotPlace place;
        std::string plain;
        if (!entry.is_object() || !Text(entry, "folder", place.folder) || !Text(entry, "location", place.location) ||
            !Text(entry, "profile", place.profile))
            return Fail(problem, "a place is not one of ours");
        // Its own plain full path, no "..", no device: nothing to steer a
        // recovery anywhere but where the scan was.
        if (!PlainFullPath(place.folder, plain) || plain != place.folder || ParentOf(plain).empty())
            return Fail(problem, "a place is not a plain full path below a root: \"" + place.folder + "\"");
        read.places.push_back(std::move(place));
    }
    read.items.reserve(items->size());
    std::set<std::string> seen;
    for (const Json& entry : *items) {
        SnapshotItem item;
        std::uint64_t place = 0;
        std::string plain;
        if (!entry.is_object() || !Text(entry, "shortcut", item.shortcut) || !Text(entry, "digest", item.digest) ||
            !Index(entry, "size", item.size) || !Text(entry, "written", item.written) || !Index(entry, "place", place) ||
            !Text(entry, "target", item.target) || !Text(entry, "status", item.status) ||
            !Text(entry, "reason", item.reason) || !Text(entry, "kind", item.kind))
            return Fail(problem, "an item is not one of ours");
        const std::string shown = " \"" + item.shortcut + "\"";
        if (place >= read.places.size())
            return Fail(problem, "an item names no place of the list:" + shown);
        item.place = static_cast<std::size_t>(place);
        const std::string& folder = read.places[item.place].folder;
        if (!PlainFullPath(item.shortcut, plain) || plain != item.shortcut || !IsWithin(item.shortcut, folder) ||
            item.shortcut.size() <= folder.size())
            return Fail(problem, "an item lies outside its place:" + shown);
        std::uint64_t size = 0;
        if (!DigestSize(item.digest, size) || size != item.size)
            return Fail(problem, "an item's digest is not of our form:" + shown);
        if (item.kind.empty() || item.kind != KindOfName(item.shortcut))
            return Fail(problem, "an item is not a shortcut:" + shown);
        if (!item.written.empty() && !IsUtcTime(item.written))
            return Fail(problem, "an item's write time is not of our form:" + shown);
        if (!seen.insert(Key(item.shortcut)).second)
            return Fail(problem, "an item is listed twice:" + shown);
        read.items.push_back(std::move(item));
    }
    list = std::move(read);
    return true;
}

std::string VanishedText(const VanishReport& vanished, const std::string& folder)
{
    if (vanished.count == 0)
        return std::string();
    constexpr std::size_t kShown = 10;
    std::string text = std::to_string(vanished.count) +
                       (vanished.count == 1 ? " shortcut vanished" : " shortcuts vanished") + " since the snapshot of " +
                       vanished.since + (vanished.count == 1 ? ", its target still present" : ", their targets still present") +
                       "; to put them back:\r\n  veltmor-scan --recover \"" +
                       folder + "\" --as-of " + vanished.since + " --dry-run\r\n";
    for (std::size_t i = 0; i < vanished.items.size() && i < kShown; ++i)
        text += "  " + vanished.items[i].shortcut + "\r\n";
    if (vanished.count > kShown)
        text += "  and " + std::to_string(vanished.count - kShown) + " more\r\n";
    return text;
}

std::string KindOfName(const std::string& path)
{
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('\\', dot) != std::string::npos)
        return std::string();
    const std::string end = scan::AsciiLower(path.substr(dot + 1));
    return end == "lnk" || end == "pif" || end == "url" ? end : std::string();
}

std::string ContentPlace(const std::string& digest)
{
    std::uint64_t size = 0;
    if (!DigestSize(digest, size))
        return std::string();
    const std::string hex = digest.substr(digest.find(':') + 1);
    return "content\\" + hex.substr(0, 2) + "\\" + hex;
}

std::string ListName(const std::string& time, unsigned seq)
{
    std::string name;
    for (char c : time)
        if (c != '-' && c != ':')
            name += c;
    const std::string number = std::to_string(seq % 1000);
    return name + "-" + std::string(3 - number.size(), '0') + number + ".json";
}

bool ListTime(const std::string& name, std::string& time)
{
    // "20261208T090000Z-000.json"
    static const char kForm[] = "ddddddddTddddddZ-ddd.json";
    if (name.size() != sizeof kForm - 1)
        return false;
    for (std::size_t i = 0; i < name.size(); ++i)
        if (kForm[i] == 'd' ? !IsDigit(name[i]) : name[i] != kForm[i])
            return false;
    time = name.substr(0, 4) + "-" + name.substr(4, 2) + "-" + name.substr(6, 2) + "T" + name.substr(9, 2) + ":" +
           name.substr(11, 2) + ":" + name.substr(13, 2) + "Z";
    return true;
}

bool ChooseList(const std::vector<std::string>& names, const std::string& asOf, std::string& chosen)
{
    // The names sort as their times do (and a second's seq after them).
    std::string best, time;
    for (const std::string& name : names)
        if (ListTime(name, time) && (asOf.empty() || time <= asOf) && name > best)
            best = name;
    chosen = best;
    return !best.empty();
}

std::vector<std::size_t> VanishCandidates(const SnapshotList& previous, const SnapshotList& current)
{
    std::set<std::string> scanned, now;
    for (const SnapshotPlace& place : current.places)
        scanned.insert(Key(place.folder));
    for (const SnapshotItem& item : current.items)
        now.insert(Key(item.shortcut));
    std::vector<std::size_t> gone;
    for (std::size_t i = 0; i < previous.items.size(); ++i) {
        const SnapshotItem& item = previous.items[i];
        // A place not scanned this time (another option, a profile left out)
        // says nothing of what it holds.
        if (item.kind == "url" || !scanned.count(Key(previous.places[item.place].folder)))
            continue;
        if (!now.count(Key(item.shortcut)))
            gone.push_back(i);
    }
    return gone;
}

}  // namespace cli
