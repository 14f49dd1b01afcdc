#pragma once
// Windows security: access checks of the process token, access lists of files, account SIDs
// and the shutdown privilege.

#include <cstdint>
#include <string>
#include <vector>

namespace orvex {
namespace platform {

// GENERIC_MAPPING for files, as MapGenericMask takes it.
struct GenericMapping {
  uint32_t genericRead = 0;
  uint32_t genericWrite = 0;
  uint32_t genericExecute = 0;
  uint32_t genericAll = 0;
};

// GetFileSecurityW (owner, group, DACL) of path, the process token duplicated for
// impersonation, MapGenericMask(desiredAccess, mapping) and AccessCheck. True only when every
// call succeeded and the access status is TRUE.
[[nodiscard]] bool ProcessTokenHasAccess(const std::wstring& path, uint32_t desiredAccess,
                                         const GenericMapping& mapping);

// One access-control entry: AceType (0 = ACCESS_ALLOWED_ACE_TYPE), mask and trustee SID as
// ConvertSidToStringSidW writes it ("" when that failed).
struct AccessEntry {
  uint8_t type = 0;
  uint32_t mask = 0;
  std::wstring sid;
};

// GetNamedSecurityInfoW(path, SE_FILE_OBJECT, owner | group | DACL) and GetAce over the DACL;
// entries that GetAce cannot read are left out. False when the call failed or there is no
// DACL (a NULL DACL); an empty DACL gives true with no entries.
[[nodiscard]] bool ReadFileAccessList(const std::wstring& path, std::vector<AccessEntry>* entries);

// LookupAccountNameW(NULL, account, ...) with growing buffers, IsValidSid and
// ConvertSidToStringSidW: the account's SID as text, or false.
[[nodiscard]] bool AccountSidText(const std::wstring& account, std::wstring* sid);

// OpenProcessToken(TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY), LookupPrivilegeValueW and
// AdjustTokenPrivileges for SeShutdownPrivilege (results not examined), then
// ExitWindowsEx(EWX_REBOOT, SHTDN_REASON_MAJOR_APPLICATION). True when Windows accepted the
// restart; the token handle is closed either way.
[[nodiscard]] bool RequestSystemRestart();

}  // namespace platform
}  // namespace orvex
