#include "platform/admin_folders.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include "platform/win32/admin_only_security.h"

namespace orvex {
namespace platform {

namespace {

// Rights that change a folder or what it holds (the generic ones as a DACL may hold them).
constexpr ACCESS_MASK kChangingRights =
    FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | FILE_DELETE_CHILD | FILE_WRITE_ATTRIBUTES |
    DELETE | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL | MAXIMUM_ALLOWED;

// SYSTEM, the built-in administrators, and TrustedInstaller, which owns the system's folders.
bool IsAdministrativeSid(PSID sid) {
  if (!sid || !IsValidSid(sid)) return false;
  if (IsWellKnownSid(sid, WinLocalSystemSid) || IsWellKnownSid(sid, WinBuiltinAdministratorsSid))
    return true;
  LPWSTR text = nullptr;
  if (!ConvertSidToStringSidW(sid, &text)) return false;
  const bool trustedInstaller =
      lstrcmpiW(text, L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464") == 0;
  LocalFree(text);
  return trustedInstaller;
}

bool IsDenyingAce(BYTE type) {
  return type == ACCESS_DENIED_ACE_TYPE || type == ACCESS_DENIED_OBJECT_ACE_TYPE ||
         type == ACCESS_DENIED_CALLBACK_ACE_TYPE || type == ACCESS_DENIED_CALLBACK_OBJECT_ACE_TYPE;
}

// The trustee of an allowing entry: the SID follows the mask in the plain and callback forms.
PSID AllowedSid(ACE_HEADER* header) {
  if (header->AceType == ACCESS_ALLOWED_ACE_TYPE ||
      header->AceType == ACCESS_ALLOWED_CALLBACK_ACE_TYPE)
    return &reinterpret_cast<ACCESS_ALLOWED_ACE*>(header)->SidStart;
  return nullptr;  // an object entry: its SID is not looked for, the entry counts as anyone's
}

// The owner and the DACL of a descriptor; false when either is missing (a NULL DACL lets
// everyone do everything, so it answers nothing here either).
bool ReadOwnerAndDacl(PSECURITY_DESCRIPTOR descriptor, PSID* owner, PACL* dacl) {
  BOOL ownerDefaulted = FALSE;
  BOOL present = FALSE;
  BOOL daclDefaulted = FALSE;
  return descriptor && GetSecurityDescriptorOwner(descriptor, owner, &ownerDefaulted) && *owner &&
         GetSecurityDescriptorDacl(descriptor, &present, dacl, &daclDefaulted) && present && *dacl;
}

bool GrantsOnlyAdministratorsChanges(PACL dacl) {
  for (DWORD index = 0; index < dacl->AceCount; ++index) {
    void* entry = nullptr;
    if (!GetAce(dacl, index, &entry)) return false;
    ACE_HEADER* header = static_cast<ACE_HEADER*>(entry);
    if (IsDenyingAce(header->AceType)) continue;
    const ACCESS_MASK mask = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header)->Mask;
    if ((mask & kChangingRights) == 0) continue;
    if (!IsAdministrativeSid(AllowedSid(header))) return false;
  }
  return true;
}

// Wine keeps no security descriptor of its own for files: it makes one from the Unix mode,
// owned by the one account every Wine process runs as (an administrator), with entries for
// SYSTEM and that owner and, for what other Unix users may do, Everyone. A folder made with
// the protected descriptor comes back with SYSTEM and the owner alone (mode 0700): there, that
// is the answer that says nobody else can change it.
bool RunningUnderWine() {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}

bool SystemAndOwnerOnly(PSECURITY_DESCRIPTOR descriptor) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  if (!ReadOwnerAndDacl(descriptor, &owner, &dacl)) return false;
  for (DWORD index = 0; index < dacl->AceCount; ++index) {
    void* entry = nullptr;
    if (!GetAce(dacl, index, &entry)) return false;
    ACE_HEADER* header = static_cast<ACE_HEADER*>(entry);
    if (IsDenyingAce(header->AceType)) continue;
    PSID sid = AllowedSid(header);
    if (!sid || !(IsAdministrativeSid(sid) || EqualSid(sid, owner))) return false;
  }
  return true;
}

}  // namespace

bool MakeAdminOnlyDirectory(const std::wstring& path, uint32_t* error) {
  AdminOnlySecurity security(AdminOnlySecurity::kFolder);
  if (!security.Attributes()) {
    if (error) *error = GetLastError();
    return false;
  }
  if (CreateDirectoryW(path.c_str(), security.Attributes())) return true;
  if (error) *error = GetLastError();
  return false;
}

bool OnlyAdministratorsCanChange(PSECURITY_DESCRIPTOR descriptor) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  // The owner may always rewrite the DACL.
  return ReadOwnerAndDacl(descriptor, &owner, &dacl) && IsAdministrativeSid(owner) &&
         GrantsOnlyAdministratorsChanges(dacl);
}

bool OnlyAdministratorsCanWrite(const std::wstring& directory) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(directory.c_str(), SE_FILE_OBJECT,
                            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS)
    return false;
  const bool onlyAdministrators = OnlyAdministratorsCanChange(descriptor) ||
                                  (RunningUnderWine() && SystemAndOwnerOnly(descriptor));
  LocalFree(descriptor);
  return onlyAdministrators;
}

bool ProtectAdminOnlyDirectory(const std::wstring& path, uint32_t* error) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR current = nullptr;
  DWORD result = GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                                       &owner, nullptr, nullptr, nullptr, &current);
  if (result != ERROR_SUCCESS) {
    if (error) *error = result;
    return false;
  }
  const bool administrativeOwner = IsAdministrativeSid(owner);
  LocalFree(current);
  if (!administrativeOwner) {
    if (error) *error = ERROR_INVALID_OWNER;
    return false;
  }
  AdminOnlySecurity security(AdminOnlySecurity::kFolder);
  BOOL present = FALSE;
  BOOL defaulted = FALSE;
  PACL dacl = nullptr;
  if (!security.Attributes() ||
      !GetSecurityDescriptorDacl(security.Attributes()->lpSecurityDescriptor, &present, &dacl,
                                 &defaulted) ||
      !present || !dacl) {
    if (error) *error = ERROR_INVALID_SECURITY_DESCR;
    return false;
  }
  // The entries inherited from the parent go: the folder keeps only its own two.
  result = SetNamedSecurityInfoW(const_cast<LPWSTR>(path.c_str()), SE_FILE_OBJECT,
                                 DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                 nullptr, nullptr, dacl, nullptr);
  if (result != ERROR_SUCCESS) {
    if (error) *error = result;
    return false;
  }
  return true;
}

}  // namespace platform
}  // namespace orvex
