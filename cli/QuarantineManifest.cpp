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
    return true;
}

void CManifest::Add(ManifestEntry entry)
{
    Json& entries = m_document["entries"];
    if (entry.action == "restore") {
        for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
            if (TextOf(*it, "action") != "quarantine" || TextOf(*it, "original") != entry.original)
                continue;
            entry.target = TextOf(*it, "target");
            entry.reason = TextOf(*it, "reason");
            entry.location = TextOf(*it, "location");
            entry.profile = TextOf(*it, "profile");
            break;
        }
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
