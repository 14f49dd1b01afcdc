// Security of the simulated machine. The process runs as the profile's user with
// administrator rights: it may read and write every existing path except those the profile
// lists under "noAccess" (and what lies below them). Access lists come from "accessLists",
// accounts from "accounts"; a restart request is recorded and answered by "restartAccepted".
#include "platform/security.h"

#include "base/text.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/sim/machine_internal.h"
#include "platform/win_codes.h"

namespace orvex {
namespace platform {
namespace {

constexpr uint32_t kFileAllAccess = 0x1F01FF;
const char kSystemSid[] = "S-1-5-18";
const char kAdministratorsSid[] = "S-1-5-32-544";

// Paths compare as Windows compares them: without regard to case or a trailing backslash.
std::wstring Comparable(const std::wstring& path) {
  std::wstring text = sim::FoldCase(path);
  for (wchar_t& c : text)
    if (c == L'/') c = L'\\';
  while (text.size() > 3 && text.back() == L'\\') text.pop_back();
  return text;
}

bool IsAtOrBelow(const std::wstring& path, const std::wstring& folder) {
  const std::wstring a = Comparable(path);
  const std::wstring b = Comparable(folder);
  return a == b || (a.size() > b.size() && a.compare(0, b.size(), b) == 0 && a[b.size()] == L'\\');
}

bool Exists(const std::wstring& path) { return FileAttributes(path) != kInvalidFileAttributes; }

// Well-known accounts every Windows machine has.
const char* WellKnownSid(const std::wstring& account) {
  if (sim::EqualsNoCase(account, L"SYSTEM") || sim::EqualsNoCase(account, L"NT AUTHORITY\\SYSTEM"))
    return kSystemSid;
  if (sim::EqualsNoCase(account, L"Administrators") ||
      sim::EqualsNoCase(account, L"BUILTIN\\Administrators"))
    return kAdministratorsSid;
  if (sim::EqualsNoCase(account, L"Everyone")) return "S-1-1-0";
  return nullptr;
}

AccessEntry Entry(uint8_t type, uint32_t mask, const std::string& sid) {
  AccessEntry entry;
  entry.type = type;
  entry.mask = mask;
  entry.sid = Utf8ToWide(sid);
  return entry;
}

}  // namespace

bool ProcessTokenHasAccess(const std::wstring& path, uint32_t, const GenericMapping&) {
  if (!Exists(path)) return false;  // GetFileSecurityW finds nothing to read
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  for (const Json::Value& denied : sim::CurrentMachine().profile["noAccess"])
    if (denied.isString() && IsAtOrBelow(path, Utf8ToWide(denied.asString()))) return false;
  return true;
}

// A path the profile gives no list for has the usual one: full control for SYSTEM, the
// administrators and the user. A list given as null is a NULL DACL.
bool ReadFileAccessList(const std::wstring& path, std::vector<AccessEntry>* entries) {
  if (!Exists(path)) return false;
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  const Json::Value& lists = sim::CurrentMachine().profile["accessLists"];
  for (const std::string& listed : lists.getMemberNames()) {
    if (Comparable(Utf8ToWide(listed)) != Comparable(path)) continue;
    const Json::Value& list = lists[listed];
    if (!list.isArray()) return false;
    if (entries) {
      entries->clear();
      for (const Json::Value& ace : list)
        entries->push_back(Entry(static_cast<uint8_t>(ace["type"].asUInt()), ace["mask"].asUInt(),
                                 ace["sid"].asString()));
    }
    return true;
  }
  if (entries) {
    entries->clear();
    entries->push_back(Entry(0, kFileAllAccess, kSystemSid));
    entries->push_back(Entry(0, kFileAllAccess, kAdministratorsSid));
    std::wstring user;
    if (AccountSidText(EnvironmentVariableW(L"USERNAME"), &user))
      entries->push_back(Entry(0, kFileAllAccess, WideToUtf8(user)));
  }
  return true;
}

bool AccountSidText(const std::wstring& account, std::wstring* sid) {
  if (account.empty()) return false;
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  const Json::Value& accounts = sim::CurrentMachine().profile["accounts"];
  Json::Value found = sim::MemberNoCase(accounts, WideToUtf8(account));
  // DOMAIN\user names the same account as user.
  const std::size_t slash = account.rfind(L'\\');
  if (!found.isString() && slash != std::wstring::npos)
    found = sim::MemberNoCase(accounts, WideToUtf8(account.substr(slash + 1)));
  if (!found.isString()) {
    const char* wellKnown = WellKnownSid(account);
    if (!wellKnown) return false;
    found = wellKnown;
  }
  if (sid) *sid = Utf8ToWide(found.asString());
  return true;
}

bool RequestSystemRestart() {
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  sim::Machine& machine = sim::CurrentMachine();
  const bool accepted = machine.profile.get("restartAccepted", true).asBool();
  Json::Value request;
  request["accepted"] = accepted;
  machine.restartRequests.append(request);
  return accepted;
}

}  // namespace platform
}  // namespace orvex
