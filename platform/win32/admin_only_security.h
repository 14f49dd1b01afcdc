#pragma once
// Security attributes that let in SYSTEM and the administrators only, with a protected DACL:
// nothing is inherited from the parent, so a folder in the user's %TEMP% or a pipe gets no
// entry for the user. Only the Windows implementations of the seam use this.

#include <windows.h>

namespace orvex {
namespace platform {

class AdminOnlySecurity {
 public:
  enum Kind {
    kFolder,  // full control, inherited by the files and folders made inside
    kPipe,    // full control, nothing to inherit
  };

  explicit AdminOnlySecurity(Kind kind);
  ~AdminOnlySecurity();
  AdminOnlySecurity(const AdminOnlySecurity&) = delete;
  AdminOnlySecurity& operator=(const AdminOnlySecurity&) = delete;

  // The attributes to create with (handles not inherited), or null when the descriptor could
  // not be made: the caller must then not create the object with a weaker one.
  SECURITY_ATTRIBUTES* Attributes() { return descriptor_ ? &attributes_ : nullptr; }

 private:
  PSECURITY_DESCRIPTOR descriptor_ = nullptr;
  SECURITY_ATTRIBUTES attributes_{};
};

// Whether a folder with this security descriptor can be changed by SYSTEM, the administrators
// and TrustedInstaller only: its owner is one of them and no allowing entry of its DACL gives
// anyone else a right to write, add, delete, or change the DACL or owner (OnlyAdministrators-
// CanWrite of platform/admin_folders.h on a folder's descriptor).
bool OnlyAdministratorsCanChange(PSECURITY_DESCRIPTOR descriptor);

}  // namespace platform
}  // namespace orvex
