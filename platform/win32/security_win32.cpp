// Access checks, access lists, account SIDs and the shutdown privilege.
#include "platform/security.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <vector>

#include "platform/win32/scoped_handle.h"

namespace orvex {
namespace platform {
namespace {

std::wstring SidText(PSID sid) {
  LPWSTR text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return std::wstring();
  std::wstring result(text);
  LocalFree(text);
  return result;
}

bool IsObjectAceType(BYTE type) {
  return type == ACCESS_ALLOWED_OBJECT_ACE_TYPE || type == ACCESS_DENIED_OBJECT_ACE_TYPE ||
         type == SYSTEM_AUDIT_OBJECT_ACE_TYPE || type == SYSTEM_ALARM_OBJECT_ACE_TYPE ||
         type == ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE ||
         type == ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE ||
         type == SYSTEM_AUDIT_CALLBACK_OBJECT_ACE_TYPE ||
         type == SYSTEM_ALARM_CALLBACK_OBJECT_ACE_TYPE;
}

// Reads one ACE. Every ACE begins with its header and mask; in the plain types the SID follows
// the mask, in the object types it follows the optional object-type GUIDs, so it is located
// by the flags rather than assumed to sit right after the mask.
AccessEntry ReadAce(const void* ace) {
  const auto* header = static_cast<const ACE_HEADER*>(ace);
  const auto* plain = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
  AccessEntry entry;
  entry.type = header->AceType;
  entry.mask = plain->Mask;
  const BYTE* sid = reinterpret_cast<const BYTE*>(&plain->SidStart);
  if (IsObjectAceType(header->AceType)) {
    const auto* object = static_cast<const ACCESS_ALLOWED_OBJECT_ACE*>(ace);
    sid = reinterpret_cast<const BYTE*>(&object->ObjectType);
    if (object->Flags & ACE_OBJECT_TYPE_PRESENT) sid += sizeof(GUID);
    if (object->Flags & ACE_INHERITED_OBJECT_TYPE_PRESENT) sid += sizeof(GUID);
  }
  const BYTE* end = static_cast<const BYTE*>(ace) + header->AceSize;
  PSID trustee = const_cast<BYTE*>(sid);
  // A SID that would run past the end of its ACE is not read.
  if (sid + sizeof(SID) - sizeof(DWORD) <= end && IsValidSid(trustee) &&
      sid + GetLengthSid(trustee) <= end)
    entry.sid = SidText(trustee);
  return entry;
}

}  // namespace

bool ProcessTokenHasAccess(const std::wstring& path, uint32_t desiredAccess,
                           const GenericMapping& mapping) {
  const SECURITY_INFORMATION wanted =
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION;
  DWORD needed = 0;
  if (GetFileSecurityW(path.c_str(), wanted, nullptr, 0, &needed) ||
      GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed == 0)
    return false;
  std::vector<BYTE> descriptor(needed);
  if (!GetFileSecurityW(path.c_str(), wanted, descriptor.data(), needed, &needed)) return false;

  ScopedKernelObject token;
  if (!OpenProcessToken(GetCurrentProcess(),
                        TOKEN_IMPERSONATE | TOKEN_QUERY | TOKEN_DUPLICATE | STANDARD_RIGHTS_READ,
                        token.Receive()))
    return false;
  ScopedKernelObject impersonation;
  if (!DuplicateToken(token.Get(), SecurityImpersonation, impersonation.Receive())) return false;

  GENERIC_MAPPING fileMapping;
  fileMapping.GenericRead = mapping.genericRead;
  fileMapping.GenericWrite = mapping.genericWrite;
  fileMapping.GenericExecute = mapping.genericExecute;
  fileMapping.GenericAll = mapping.genericAll;
  DWORD access = desiredAccess;
  MapGenericMask(&access, &fileMapping);

  // Room for one privilege: 20 bytes, as the check is made with.
  alignas(PRIVILEGE_SET) BYTE privileges[20] = {};
  DWORD privilegesLength = sizeof privileges;
  DWORD granted = 0;
  BOOL status = FALSE;
  if (!AccessCheck(descriptor.data(), impersonation.Get(), access, &fileMapping,
                   reinterpret_cast<PRIVILEGE_SET*>(privileges), &privilegesLength, &granted,
                   &status))
    return false;
  return status != FALSE;
}

bool ReadFileAccessList(const std::wstring& path, std::vector<AccessEntry>* entries) {
  PSID owner = nullptr;
  PSID group = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  DWORD result = GetNamedSecurityInfoW(
      const_cast<LPWSTR>(path.c_str()), SE_FILE_OBJECT,
      OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner,
      &group, &dacl, nullptr, &descriptor);
  if (result != ERROR_SUCCESS) {
    if (descriptor) LocalFree(descriptor);
    return false;
  }
  bool haveList = dacl != nullptr;
  if (haveList && entries) {
    entries->clear();
    for (DWORD index = 0; index < dacl->AceCount; ++index) {
      void* ace = nullptr;
      if (!GetAce(dacl, index, &ace)) continue;
      entries->push_back(ReadAce(ace));
    }
  }
  LocalFree(descriptor);
  return haveList;
}

bool AccountSidText(const std::wstring& account, std::wstring* sid) {
  DWORD sidSize = 32;
  DWORD domainChars = 32;
  std::vector<BYTE> sidBuffer;
  std::vector<wchar_t> domain;
  SID_NAME_USE use;
  // Windows reports the sizes it needs; a few rounds are enough even if the account changes
  // in between, and a bounded loop cannot spin on a misbehaving answer.
  for (int attempt = 0; attempt < 4; ++attempt) {
    sidBuffer.assign(sidSize, 0);
    domain.assign(domainChars, L'\0');
    if (LookupAccountNameW(nullptr, account.c_str(), sidBuffer.data(), &sidSize, domain.data(),
                           &domainChars, &use)) {
      if (!IsValidSid(sidBuffer.data())) return false;
      std::wstring text = SidText(sidBuffer.data());
      if (text.empty()) return false;
      if (sid) *sid = text;
      return true;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return false;
    if (sidSize < sidBuffer.size()) sidSize = static_cast<DWORD>(sidBuffer.size());
    if (domainChars < domain.size()) domainChars = static_cast<DWORD>(domain.size());
  }
  return false;
}

bool RequestSystemRestart() {
  ScopedKernelObject token;
  if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY,
                       token.Receive())) {
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid);
    AdjustTokenPrivileges(token.Get(), FALSE, &privileges, 0, nullptr, nullptr);
  }
  return ExitWindowsEx(EWX_REBOOT, SHTDN_REASON_MAJOR_APPLICATION) != 0;
}

}  // namespace platform
}  // namespace orvex
