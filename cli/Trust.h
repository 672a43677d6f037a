// Who may change a folder or file besides the administrators, from its
// security descriptor as SDDL text (what the system's own conversion
// writes). Portable: the descriptor is read elsewhere; here it is parsed and
// judged. The quarantine folder and a repaired shortcut's new target must be
// places that no other account can change.
#ifndef VELTMOR_CLI_TRUST_H
#define VELTMOR_CLI_TRUST_H

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// The accounts that are the machine itself: SYSTEM, Administrators and
// TrustedInstaller, as S-1-... text.
extern const char kSystemSid[];
extern const char kAdministratorsSid[];
extern const char kTrustedInstallerSid[];

// Access rights as a file system object's descriptor holds them.
namespace access {
constexpr std::uint32_t kWriteData = 0x2;        // FILE_WRITE_DATA, FILE_ADD_FILE
constexpr std::uint32_t kAppendData = 0x4;       // FILE_APPEND_DATA, FILE_ADD_SUBDIRECTORY
constexpr std::uint32_t kWriteEa = 0x10;
constexpr std::uint32_t kDeleteChild = 0x40;
constexpr std::uint32_t kWriteAttributes = 0x100;
constexpr std::uint32_t kDelete = 0x10000;
constexpr std::uint32_t kWriteDac = 0x40000;
constexpr std::uint32_t kWriteOwner = 0x80000;
constexpr std::uint32_t kGenericAll = 0x10000000;
constexpr std::uint32_t kGenericExecute = 0x20000000;
constexpr std::uint32_t kGenericWrite = 0x40000000;
constexpr std::uint32_t kGenericRead = 0x80000000u;
constexpr std::uint32_t kMaximumAllowed = 0x2000000;
}  // namespace access

struct AccessEntry {
    enum class Kind { Allow, Deny, ConditionalDeny };
    Kind kind = Kind::Allow;
    std::uint32_t mask = 0;  // generic rights already mapped to file rights
    std::string sid;         // S-1-... (an alias the table below lacks stays as written)
    bool inheritOnly = false;
    bool inherits = false;   // object or container inherit: passes to what is made inside
};

struct SecurityDescriptorText {
    std::string owner;  // S-1-...; empty when the text had none
    bool hasDacl = false;
    bool nullDacl = false;  // D:NO_ACCESS_CONTROL: everyone may do everything
    std::vector<AccessEntry> entries;
};

// Parses SDDL text (O:, G:, D:, S: in any order; SIDs by alias or S-1-...;
// rights by letters or as a number). False, with the problem, on text it
// cannot read whole: the caller then trusts nothing.
bool ParseSddl(const std::string& text, SecurityDescriptorText& descriptor, std::string& problem);

// What one folder or file on the way is to the caller.
enum class TrustRole {
    // A folder the caller writes into or makes folders in: no other
    // account may change it, its rights, or what it passes on to what is
    // made inside (CREATOR OWNER there stands for the caller itself).
    Holder,
    // A folder above one of those: no other account may remove, rename or
    // re-permit what it holds (delete, delete-child, write-rights,
    // take-ownership). Adding new entries beside the one on the way harms
    // nothing: the root of the system drive and ProgramData let users add.
    Above,
    // A program and each folder down to it: no other account may write it
    // or add anything beside it.
    Target,
    // Only its owner is asked about (see SecurityReader::ModeDescriptors).
    Owned,
};

// Why the descriptor lets an account outside SYSTEM, Administrators,
// TrustedInstaller and alsoTrusted change the object in role; empty when
// none may. who: that account's SID (the owner's, when the owner is not
// one of them).
struct Distrust {
    std::string who;
    std::string why;  // "owns it", "may write, delete or change its rights", ...
    bool empty() const { return who.empty() && why.empty(); }
};
Distrust Judge(const SecurityDescriptorText& descriptor, TrustRole role,
               const std::vector<std::string>& alsoTrusted = std::vector<std::string>());

// The SID of an alias (BA, SY, ...) or of S-1-... text in upper case; empty
// for anything else.
std::string SidOf(const std::string& text);

// One folder or file as the system read it, opened by handle without
// following a link.
struct ObjectSecurity {
    enum class State { Found, Missing, Link, Unreadable };
    State state = State::Unreadable;
    std::string sddl;     // Found: owner and access list
    std::string problem;  // Unreadable: the system's words
};

// What the trust rules ask of the system.
class SecurityReader {
public:
    virtual ~SecurityReader() = default;
    // True when this run may do what administrators may: its token is
    // elevated, or it is SYSTEM.
    virtual bool Elevated() = 0;
    // The account this run is, as S-1-... text; empty when unknown.
    virtual std::string UserSid() = 0;
    // Accounts the system itself treats as the machine's besides SYSTEM,
    // Administrators and TrustedInstaller: none on Windows; under Wine,
    // where every file belongs to the one account the prefix runs as, that
    // account.
    virtual std::vector<std::string> MachineAccounts() = 0;
    // True where descriptors are made up from Unix owners and modes (Wine):
    // the sticky bit is dropped, so /tmp reads as everyone may delete what
    // it holds, which Unix allows no one but the owner of each entry. The
    // folders above a keeping folder are then judged by their owner alone.
    virtual bool ModeDescriptors() = 0;
    virtual ObjectSecurity Read(const std::string& path) = 0;
    // DOMAIN\name for a message; empty when the system has no name for it.
    virtual std::string AccountName(const std::string& sid) = 0;
};

// The folders from a plain full path's root ("C:\", "\\server\share\") down
// to the path itself; empty for text that is not such a path.
std::vector<std::string> WayDown(const std::string& path);

// Why a run may not keep files in dir (a plain full path): dir, or the
// folder it would be made in, must be a holder (TrustRole::Holder) and every
// existing folder above it TrustRole::Above, none of them a link. Empty when
// it may.
std::string UntrustedHolder(const std::string& dir, SecurityReader& reader);

// Why target (a plain full path below root) may not be what a shortcut
// runs: root, every folder below it down to target's and target itself must
// exist, be no link and be TrustRole::Target; alsoTrusted: the one user who
// may write there too (the profile's own). Empty when it may.
std::string UntrustedWay(const std::string& root, const std::string& target, const std::vector<std::string>& alsoTrusted,
                         SecurityReader& reader);

}  // namespace cli

#endif
