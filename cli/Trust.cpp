#include "Trust.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "scan/WinPath.h"

namespace cli {

const char kSystemSid[] = "S-1-5-18";
const char kAdministratorsSid[] = "S-1-5-32-544";
const char kTrustedInstallerSid[] = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

namespace {

const char kCreatorOwner[] = "S-1-3-0";
const char kOwnerRights[] = "S-1-3-4";
const char kEveryone[] = "S-1-1-0";

struct Alias {
    const char* alias;
    const char* sid;
};

// The well-known accounts SDDL names by two letters. One that is not here
// (the domain-relative ones) stays as written and is trusted with nothing.
const Alias kAliases[] = {
    {"SY", kSystemSid},       {"BA", kAdministratorsSid}, {"BU", "S-1-5-32-545"}, {"BG", "S-1-5-32-546"},
    {"PU", "S-1-5-32-547"},   {"AO", "S-1-5-32-548"},     {"SO", "S-1-5-32-549"}, {"PO", "S-1-5-32-550"},
    {"BO", "S-1-5-32-551"},   {"RE", "S-1-5-32-552"},     {"RU", "S-1-5-32-554"}, {"RD", "S-1-5-32-555"},
    {"NO", "S-1-5-32-556"},   {"MU", "S-1-5-32-558"},     {"LU", "S-1-5-32-559"}, {"IS", "S-1-5-32-568"},
    {"CY", "S-1-5-32-569"},   {"ER", "S-1-5-32-573"},     {"RA", "S-1-5-32-575"}, {"ES", "S-1-5-32-576"},
    {"MS", "S-1-5-32-577"},   {"HA", "S-1-5-32-578"},     {"AA", "S-1-5-32-579"}, {"RM", "S-1-5-32-580"},
    {"WD", kEveryone},        {"CO", kCreatorOwner},      {"CG", "S-1-3-1"},      {"OW", kOwnerRights},
    {"NU", "S-1-5-2"},        {"IU", "S-1-5-4"},          {"SU", "S-1-5-6"},      {"AN", "S-1-5-7"},
    {"ED", "S-1-5-9"},        {"PS", "S-1-5-10"},         {"AU", "S-1-5-11"},     {"RC", "S-1-5-12"},
    {"WR", "S-1-5-33"},       {"LS", "S-1-5-19"},         {"NS", "S-1-5-20"},     {"AC", "S-1-15-2-1"},
    {"UD", "S-1-5-84-0-0-0-0-0"}, {"LW", "S-1-16-4096"},  {"ME", "S-1-16-8192"},  {"MP", "S-1-16-8448"},
    {"HI", "S-1-16-12288"},   {"SI", "S-1-16-16384"},
};

struct Right {
    const char* letters;
    std::uint32_t mask;
};

const Right kRights[] = {
    {"GA", access::kGenericAll}, {"GR", access::kGenericRead}, {"GW", access::kGenericWrite},
    {"GX", access::kGenericExecute}, {"RC", 0x20000}, {"SD", access::kDelete}, {"WD", access::kWriteDac},
    {"WO", access::kWriteOwner}, {"RP", 0x10}, {"WP", 0x20}, {"CC", 0x1}, {"DC", 0x2}, {"LC", 0x4},
    {"SW", 0x8}, {"LO", 0x80}, {"DT", 0x40}, {"CR", 0x100}, {"FA", 0x1F01FF}, {"FR", 0x120089},
    {"FW", 0x120116}, {"FX", 0x1200A0}, {"KA", 0xF003F}, {"KR", 0x20019}, {"KW", 0x20006}, {"KX", 0x20019},
    {"NR", 0x1}, {"NW", 0x2}, {"NX", 0x4},
};

// What a file system object's generic rights stand for.
std::uint32_t MapGeneric(std::uint32_t mask)
{
    std::uint32_t mapped = mask & ~(access::kGenericAll | access::kGenericRead | access::kGenericWrite |
                                    access::kGenericExecute | access::kMaximumAllowed);
    if (mask & (access::kGenericAll | access::kMaximumAllowed))
        mapped |= 0x1F01FF;
    if (mask & access::kGenericRead)
        mapped |= 0x120089;
    if (mask & access::kGenericWrite)
        mapped |= 0x120116;
    if (mask & access::kGenericExecute)
        mapped |= 0x1200A0;
    return mapped;
}

std::string Upper(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

bool ParseRights(const std::string& text, std::uint32_t& mask)
{
    mask = 0;
    if (text.empty())
        return true;  // an entry that grants nothing
    if (std::isdigit(static_cast<unsigned char>(text[0]))) {
        char* end = nullptr;
        const unsigned long value = std::strtoul(text.c_str(), &end, 0);
        if (*end != '\0' || value > 0xFFFFFFFFul)
            return false;
        mask = static_cast<std::uint32_t>(value);
        return true;
    }
    if (text.size() % 2)
        return false;
    for (std::size_t at = 0; at < text.size(); at += 2) {
        const std::string letters = Upper(text.substr(at, 2));
        bool known = false;
        for (const Right& right : kRights)
            if (letters == right.letters) {
                mask |= right.mask;
                known = true;
            }
        if (!known)
            return false;
    }
    return true;
}

// The fields of one "(...)" entry; a conditional entry's last field holds
// parentheses of its own.
std::vector<std::string> Fields(const std::string& entry)
{
    std::vector<std::string> fields(1);
    int depth = 0;
    for (char c : entry) {
        if (c == '(')
            ++depth;
        else if (c == ')')
            --depth;
        if (c == ';' && depth == 0)
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}

bool ParseEntry(const std::string& entry, AccessEntry& parsed, bool& skip, std::string& problem)
{
    const std::vector<std::string> fields = Fields(entry);
    if (fields.size() < 6) {
        problem = "an entry of " + std::to_string(fields.size()) + " fields: (" + entry + ")";
        return false;
    }
    const std::string type = Upper(fields[0]);
    skip = false;
    if (type == "A" || type == "OA" || type == "XA" || type == "ZA")
        parsed.kind = AccessEntry::Kind::Allow;
    else if (type == "D" || type == "OD")
        parsed.kind = AccessEntry::Kind::Deny;
    else if (type == "XD")
        parsed.kind = AccessEntry::Kind::ConditionalDeny;
    else if (type == "AU" || type == "AL" || type == "OU" || type == "OL" || type == "ML" || type == "RA" ||
             type == "SP" || type == "XU")
        skip = true;  // audit, alarm, label and attribute entries grant nothing
    else {
        problem = "an entry of unknown type \"" + fields[0] + "\"";
        return false;
    }
    const std::string flags = Upper(fields[1]);
    if (flags.size() % 2) {
        problem = "entry flags \"" + fields[1] + "\"";
        return false;
    }
    for (std::size_t at = 0; at < flags.size(); at += 2) {
        const std::string flag = flags.substr(at, 2);
        if (flag == "IO")
            parsed.inheritOnly = true;
        else if (flag == "OI" || flag == "CI")
            parsed.inherits = true;
        else if (flag != "NP" && flag != "ID" && flag != "SA" && flag != "FA" && flag != "TP" && flag != "CR") {
            problem = "entry flag \"" + flag + "\"";
            return false;
        }
    }
    std::uint32_t mask = 0;
    if (!ParseRights(fields[2], mask)) {
        problem = "access rights \"" + fields[2] + "\"";
        return false;
    }
    parsed.mask = MapGeneric(mask);
    parsed.sid = SidOf(fields[5]);
    if (parsed.sid.empty()) {
        problem = "an account \"" + fields[5] + "\"";
        return false;
    }
    return true;
}

// The text of one component (O:, G:, D:, S:) from at to the next one.
std::size_t ComponentEnd(const std::string& text, std::size_t at)
{
    int depth = 0;
    for (; at < text.size(); ++at) {
        const char c = text[at];
        if (c == '(')
            ++depth;
        else if (c == ')')
            --depth;
        else if (depth == 0 && at + 1 < text.size() && text[at + 1] == ':' &&
                 (c == 'O' || c == 'G' || c == 'D' || c == 'S'))
            return at;
    }
    return at;
}

bool ParseDacl(const std::string& text, SecurityDescriptorText& descriptor, std::string& problem)
{
    descriptor.hasDacl = true;
    std::size_t at = text.find('(');
    const std::string flags = Upper(text.substr(0, at));
    if (flags.find("NO_ACCESS_CONTROL") != std::string::npos)
        descriptor.nullDacl = true;
    while (at != std::string::npos && at < text.size()) {
        if (text[at] != '(') {
            problem = "text between entries: \"" + text.substr(at) + "\"";
            return false;
        }
        int depth = 0;
        std::size_t end = at;
        for (; end < text.size(); ++end) {
            depth += text[end] == '(' ? 1 : text[end] == ')' ? -1 : 0;
            if (depth == 0)
                break;
        }
        if (end == text.size()) {
            problem = "an entry without its end: \"" + text.substr(at) + "\"";
            return false;
        }
        AccessEntry entry;
        bool skip = false;
        if (!ParseEntry(text.substr(at + 1, end - at - 1), entry, skip, problem))
            return false;
        if (!skip)
            descriptor.entries.push_back(entry);
        at = end + 1;
    }
    return true;
}

// Where an entry applies: the object itself, the files and the folders
// made inside it.
unsigned Reach(const AccessEntry& entry, TrustRole role)
{
    unsigned reach = entry.inheritOnly ? 0u : 1u;
    if (role == TrustRole::Holder && entry.inherits)
        reach |= 2u;
    return reach;
}

std::string RightNames(std::uint32_t mask)
{
    static const Right names[] = {
        {"write data or add files", access::kWriteData}, {"append or add folders", access::kAppendData},
        {"write extended attributes", access::kWriteEa}, {"delete what it holds", access::kDeleteChild},
        {"write attributes", access::kWriteAttributes},  {"delete", access::kDelete},
        {"change rights", access::kWriteDac},            {"take ownership", access::kWriteOwner},
    };
    std::string text;
    for (const Right& name : names)
        if (mask & name.mask)
            text += (text.empty() ? "" : ", ") + std::string(name.letters);
    return text;
}

}  // namespace

std::string SidOf(const std::string& text)
{
    const std::string upper = Upper(text);
    if (upper.size() > 4 && upper.compare(0, 4, "S-1-") == 0) {
        for (char c : upper.substr(4))
            if (!std::isdigit(static_cast<unsigned char>(c)) && c != '-')
                return std::string();
        return upper;
    }
    for (const Alias& alias : kAliases)
        if (upper == alias.alias)
            return alias.sid;
    // A domain-relative alias (DA, LA, ...): an account we cannot name here,
    // trusted with nothing.
    if (upper.size() == 2 && std::isalpha(static_cast<unsigned char>(upper[0])) &&
        std::isalpha(static_cast<unsigned char>(upper[1])))
        return upper;
    return std::string();
}

bool ParseSddl(const std::string& text, SecurityDescriptorText& descriptor, std::string& problem)
{
    descriptor = SecurityDescriptorText();
    std::size_t at = 0;
    while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at])))
        ++at;
    while (at < text.size()) {
        if (at + 1 >= text.size() || text[at + 1] != ':') {
            problem = "text outside a component: \"" + text.substr(at) + "\"";
            return false;
        }
        const char kind = text[at];
        const std::size_t end = ComponentEnd(text, at + 2);
        const std::string body = text.substr(at + 2, end - at - 2);
        switch (kind) {
        case 'O':
            descriptor.owner = SidOf(body);
            if (descriptor.owner.empty()) {
                problem = "an owner \"" + body + "\"";
                return false;
            }
            break;
        case 'D':
            if (!ParseDacl(body, descriptor, problem))
                return false;
            break;
        case 'G':
        case 'S':
            break;  // the group and the audit list grant nothing
        default:
            problem = "a component \"" + std::string(1, kind) + ":\"";
            return false;
        }
        at = end;
    }
    return true;
}

Distrust Judge(const SecurityDescriptorText& descriptor, TrustRole role, const std::vector<std::string>& alsoTrusted)
{
    const auto trusted = [&alsoTrusted](const std::string& sid) {
        if (sid == kSystemSid || sid == kAdministratorsSid || sid == kTrustedInstallerSid)
            return true;
        for (const std::string& other : alsoTrusted)
            if (!other.empty() && Upper(other) == sid)
                return true;
        return false;
    };
    if (descriptor.owner.empty())
        return {"(no owner)", "has no owner that can be read"};
    // An owner may always change the rights, whatever the list says.
    if (!trusted(descriptor.owner))
        return {descriptor.owner, "owns it"};
    if (!descriptor.hasDacl || descriptor.nullDacl)
        return {kEveryone, "has no access list: everyone may change it"};

    if (role == TrustRole::Owned)
        return Distrust();
    std::uint32_t watched = access::kDeleteChild | access::kDelete | access::kWriteDac | access::kWriteOwner;
    if (role != TrustRole::Above)
        watched |= access::kWriteData | access::kAppendData | access::kWriteEa | access::kWriteAttributes;
    std::vector<const AccessEntry*> denied;
    for (const AccessEntry& entry : descriptor.entries) {
        const unsigned reach = Reach(entry, role);
        if (entry.kind == AccessEntry::Kind::Deny)
            denied.push_back(&entry);
        if (entry.kind != AccessEntry::Kind::Allow || reach == 0)
            continue;
        // CREATOR OWNER matches no one where it stands and the maker of
        // what inherits it: in a holder that is the caller. OWNER RIGHTS is
        // the owner, already found trusted.
        if (entry.sid == kCreatorOwner || entry.sid == kOwnerRights || trusted(entry.sid))
            continue;
        // A deny before it narrows it for everyone it names, where it
        // reaches at least as far; a deny after it or elsewhere does not.
        std::uint32_t mask = entry.mask & watched;
        for (const AccessEntry* deny : denied)
            if ((deny->sid == entry.sid || deny->sid == kEveryone) && (Reach(*deny, role) & reach) == reach)
                mask &= ~deny->mask;
        if (mask == 0)
            continue;
        const char* where = reach == 2u ? "passes to what is made in it: " : "may ";
        return {entry.sid, where + RightNames(mask)};
    }
    return Distrust();
}

std::vector<std::string> WayDown(const std::string& path)
{
    std::vector<std::string> way;
    std::size_t at = 0;
    if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' && path[2] == '\\') {
        at = 3;
    } else if (path.size() > 2 && path[0] == '\\' && path[1] == '\\') {
        // A share's root is its server and share names.
        const std::size_t server = path.find('\\', 2);
        if (server == std::string::npos || server == 2)
            return way;
        const std::size_t share = path.find('\\', server + 1);
        if (share == server + 1)
            return way;
        if (share == std::string::npos)
            return {path + '\\'};
        at = share + 1;
    } else {
        return way;
    }
    way.push_back(path.substr(0, at));
    while (at < path.size()) {
        std::size_t end = path.find('\\', at);
        if (end == at)
            return std::vector<std::string>();
        if (end == std::string::npos)
            end = path.size();
        way.push_back(path.substr(0, end));
        at = end + 1;
    }
    return way;
}

namespace {

using scan::Quoted;

// Who an account is, for a message: its name and SID, or its SID.
std::string Whose(const std::string& sid, SecurityReader& reader)
{
    const std::string name = reader.AccountName(sid);
    return name.empty() ? sid : name + " (" + sid + ")";
}

// Why path, as the system read it, is not trusted in role; empty when it is.
std::string Judged(const std::string& path, const ObjectSecurity& read, TrustRole role,
                   const std::vector<std::string>& alsoTrusted, SecurityReader& reader)
{
    switch (read.state) {
    case ObjectSecurity::State::Missing:
        return Quoted(path) + " does not exist";
    case ObjectSecurity::State::Link:
        return Quoted(path) + " is a link";
    case ObjectSecurity::State::Unreadable:
        return "cannot read who may change " + Quoted(path) + ": " + read.problem;
    case ObjectSecurity::State::Found:
        break;
    }
    SecurityDescriptorText descriptor;
    std::string problem;
    if (!ParseSddl(read.sddl, descriptor, problem))
        return "cannot read who may change " + Quoted(path) + ": " + problem;
    const Distrust distrust = Judge(descriptor, role, alsoTrusted);
    if (distrust.empty())
        return std::string();
    if (distrust.why == "owns it")
        return Quoted(path) + " is owned by " + Whose(distrust.who, reader);
    return Quoted(path) + ": " + Whose(distrust.who, reader) + " " + distrust.why;
}

}  // namespace

std::string UntrustedHolder(const std::string& dir, SecurityReader& reader)
{
    const std::vector<std::string> way = WayDown(dir);
    if (way.empty())
        return Quoted(dir) + " is not a full path";
    // Read down to the first folder that is not there yet: the last one
    // read is where dir is, or where it will be made.
    std::vector<ObjectSecurity> read;
    for (const std::string& folder : way) {
        ObjectSecurity one = reader.Read(folder);
        if (one.state == ObjectSecurity::State::Missing)
            break;
        read.push_back(one);
        // Below a link the path leads elsewhere: nothing more is read.
        if (one.state != ObjectSecurity::State::Found)
            break;
    }
    if (read.empty())
        return Quoted(way.front()) + " does not exist";
    const std::vector<std::string> machine = reader.MachineAccounts();
    const TrustRole above = reader.ModeDescriptors() ? TrustRole::Owned : TrustRole::Above;
    for (std::size_t i = 0; i < read.size(); ++i) {
        const TrustRole role = i + 1 == read.size() ? TrustRole::Holder : above;
        const std::string why = Judged(way[i], read[i], role, machine, reader);
        if (!why.empty())
            return why;
    }
    return std::string();
}

std::string UntrustedWay(const std::string& root, const std::string& target, const std::vector<std::string>& alsoTrusted,
                         SecurityReader& reader)
{
    const std::vector<std::string> way = WayDown(target);
    std::vector<std::string> trusted = reader.MachineAccounts();
    trusted.insert(trusted.end(), alsoTrusted.begin(), alsoTrusted.end());
    std::string top = root;
    while (top.size() > 3 && top.back() == '\\')
        top.pop_back();
    bool below = false;
    for (const std::string& step : way) {
        below = below || Upper(step) == Upper(top);
        if (!below)
            continue;
        const std::string why = Judged(step, reader.Read(step), TrustRole::Target, trusted, reader);
        if (!why.empty())
            return why;
    }
    return below ? std::string() : Quoted(target) + " does not lie below " + Quoted(root);
}

}  // namespace cli
