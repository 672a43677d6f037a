#include "QuarantineManifest.h"

#include <iterator>
#include <utility>

#include "cli/JsonBounds.h"

namespace cli {

namespace {

const char kKind[] = "veltmor-scan quarantine";

using Json = nlohmann::ordered_json;

// A member's text; "" when it is absent or not text (a manifest someone
// edited must not stop a restore).
std::string TextOf(const Json& object, const char* key)
{
    if (!object.is_object())
        return std::string();
    const auto member = object.find(key);
    return member != object.end() && member->is_string() ? member->get<std::string>() : std::string();
}

// The document, its entries, an entry: nothing of ours is deeper.
constexpr int kDeepest = 3;

// An entry: an object whose every member is text.
bool IsEntry(const Json& entry)
{
    if (!entry.is_object())
        return false;
    for (const auto& member : entry.items())
        if (!member.value().is_string())
            return false;
    return true;
}

std::string KeyOf(const Json& entry)
{
    return TextOf(entry, "action") + '\n' + TextOf(entry, "original") + '\n' + TextOf(entry, "place") + '\n' +
           TextOf(entry, "time");
}

// An entry's members in the order they are written; the last three only
// when they hold something (a repair's entries have all three, a move's
// and a restore's the digest of the file they moved).
const std::pair<const char*, std::string ManifestEntry::*> kMembers[] = {
    {"action", &ManifestEntry::action},     {"original", &ManifestEntry::original},
    {"place", &ManifestEntry::place},       {"target", &ManifestEntry::target},
    {"reason", &ManifestEntry::reason},     {"location", &ManifestEntry::location},
    {"profile", &ManifestEntry::profile},   {"time", &ManifestEntry::time},
    {"computer", &ManifestEntry::computer}, {"version", &ManifestEntry::version},
    {"newTarget", &ManifestEntry::newTarget}, {"digest", &ManifestEntry::digest},
    {"repairedDigest", &ManifestEntry::repairedDigest},
};
constexpr std::size_t kOptionalMembers = 3;

Json ObjectOf(const ManifestEntry& entry)
{
    Json object;
    for (std::size_t i = 0; i < std::size(kMembers); ++i) {
        const std::string& value = entry.*kMembers[i].second;
        if (i < std::size(kMembers) - kOptionalMembers || !value.empty())
            object[kMembers[i].first] = value;
    }
    return object;
}

std::string PairOf(const std::string& original, const std::string& place)
{
    return original + '\n' + place;
}

ManifestEntry EntryOf(const Json& object)
{
    ManifestEntry entry;
    for (const auto& member : kMembers)
        entry.*member.second = TextOf(object, member.first);
    return entry;
}

}  // namespace

CManifest::CManifest()
{
    m_document["kind"] = kKind;
    m_document["entries"] = Json::array();
}

bool CManifest::Load(const std::string& text)
{
    if (text.size() > kLargestManifest || !WithinDepth(text, kDeepest))
        return false;
    Json document = Json::parse(text, nullptr, false);
    if (TextOf(document, "kind") != kKind)
        return false;
    const auto entries = document.find("entries");
    if (entries == document.end() || !entries->is_array())
        return false;
    for (const Json& entry : *entries)
        if (!IsEntry(entry))
            return false;
    m_document = std::move(document);
    m_latest.clear();
    m_keys.clear();
    const Json& loaded = m_document["entries"];
    m_latestAt.clear();
    for (std::size_t i = 0; i < loaded.size(); ++i) {
        if (TextOf(loaded[i], "action") == "quarantine")
            m_latest[TextOf(loaded[i], "original")] = i;
        m_latestAt[PairOf(TextOf(loaded[i], "original"), TextOf(loaded[i], "place"))] = i;
        m_keys.insert(KeyOf(loaded[i]));
    }
    return true;
}

bool CManifest::LatestRepair(const std::string& original, const std::string& place, ManifestEntry& entry) const
{
    const auto latest = m_latestAt.find(PairOf(original, place));
    if (latest == m_latestAt.end())
        return false;
    const Json& found = m_document["entries"][latest->second];
    if (TextOf(found, "action") != "repair")
        return false;
    entry = EntryOf(found);
    return true;
}

bool CManifest::Has(const ManifestEntry& entry) const
{
    return m_keys.count(KeyOf(ObjectOf(entry))) > 0;
}

std::string CManifest::JournalLine(const ManifestEntry& entry)
{
    return ObjectOf(entry).dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool CManifest::Replay(const std::string& journal, std::vector<ManifestEntry>& lines)
{
    lines.clear();
    for (std::size_t at = 0; at < journal.size();) {
        const std::size_t end = journal.find('\n', at);
        if (end == std::string::npos)
            break;  // cut by the kill or the power cut: its move, if any, is in the layout
        const std::string line = journal.substr(at, end - at);
        at = end + 1;
        if (!WithinDepth(line, 1))
            return false;
        const Json object = Json::parse(line, nullptr, false);
        if (!IsEntry(object))
            return false;
        // A line already in the manifest (a run killed after saving it).
        if (!m_keys.count(KeyOf(object)))
            lines.push_back(EntryOf(object));
    }
    return true;
}

ManifestEntry CManifest::Add(ManifestEntry entry)
{
    Json& entries = m_document["entries"];
    if (entry.action == "restore") {
        const auto latest = m_latest.find(entry.original);
        if (latest != m_latest.end()) {
            const Json& moved = entries[latest->second];
            entry.target = TextOf(moved, "target");
            entry.reason = TextOf(moved, "reason");
            entry.location = TextOf(moved, "location");
            entry.profile = TextOf(moved, "profile");
        }
    } else if (entry.action == "quarantine") {
        m_latest[entry.original] = entries.size();
    }
    Json object = ObjectOf(entry);
    m_keys.insert(KeyOf(object));
    m_latestAt[PairOf(entry.original, entry.place)] = entries.size();
    entries.push_back(std::move(object));
    return entry;
}

std::string CManifest::Text() const
{
    return m_document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace cli
