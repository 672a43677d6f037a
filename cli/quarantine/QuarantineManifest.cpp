#include "QuarantineManifest.h"

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

}  // namespace

CManifest::CManifest()
{
    m_document["kind"] = kKind;
    m_document["entries"] = Json::array();
}

bool CManifest::Load(const std::string& text)
{
    Json document = Json::parse(text, nullptr, false);
    if (TextOf(document, "kind") != kKind)
        return false;
    const auto entries = document.find("entries");
    if (entries == document.end() || !entries->is_array())
        return false;
    m_document = std::move(document);
    m_latest.clear();
    const Json& loaded = m_document["entries"];
    for (std::size_t i = 0; i < loaded.size(); ++i)
        if (TextOf(loaded[i], "action") == "quarantine")
            m_latest[TextOf(loaded[i], "original")] = i;
    return true;
}

void CManifest::Add(ManifestEntry entry)
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
    Json object;
    object["action"] = entry.action;
    object["original"] = entry.original;
    object["place"] = entry.place;
    object["target"] = entry.target;
    object["reason"] = entry.reason;
    object["location"] = entry.location;
    object["profile"] = entry.profile;
    object["time"] = entry.time;
    object["computer"] = entry.computer;
    object["version"] = entry.version;
    entries.push_back(std::move(object));
}

std::string CManifest::Text() const
{
    return m_document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace cli
