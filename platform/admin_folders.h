#pragma once
// Folders that only administrators can change. The installer runs elevated and starts what it
// unpacks, so what it verifies and runs lies in a folder that nothing without elevation can
// add to, change, rename or remove from between download, verification and use.

#include <cstdint>
#include <string>

namespace orvex {
namespace platform {

// CreateDirectoryW(path, attributes) with a protected DACL for SYSTEM and the administrators
// only, handed down to everything made inside ("D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"):
// nothing is inherited from the parent (a user's %TEMP%). The folder is new: an existing one,
// whoever made it, fails with ERROR_ALREADY_EXISTS in *error; only the last component is made.
[[nodiscard]] bool MakeAdminOnlyDirectory(const std::wstring& path, uint32_t* error);

// Whether only SYSTEM, the administrators and TrustedInstaller can change the folder or what
// it holds: its owner is one of them, and no entry of its DACL (inherited or to be handed
// down) grants anyone else a right to write, add, delete, or change the DACL or owner. False
// when the folder's security cannot be read or its DACL is NULL.
[[nodiscard]] bool OnlyAdministratorsCanWrite(const std::wstring& directory);

// Gives an existing folder the protected DACL that MakeAdminOnlyDirectory creates with, when
// its owner is SYSTEM, the administrators or TrustedInstaller (SetNamedSecurityInfoW with
// PROTECTED_DACL_SECURITY_INFORMATION). A folder owned by anyone else is left as it is and
// refused (ERROR_INVALID_OWNER in *error): its owner could rewrite the DACL at any time. What
// the folder already holds is not made trustworthy by this: the caller decides about it.
[[nodiscard]] bool ProtectAdminOnlyDirectory(const std::wstring& path, uint32_t* error);

}  // namespace platform
}  // namespace orvex
