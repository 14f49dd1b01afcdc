#include "platform/win32/admin_only_security.h"

#include <sddl.h>

namespace orvex {
namespace platform {

namespace {

// "P": the DACL is protected (no entry inherited from the parent). SY is SYSTEM, BA the
// built-in administrators; FA is FILE_ALL_ACCESS (a pipe is a file object too); OICI hands a
// folder's entries down to the files (object inherit) and folders (container inherit) inside.
const wchar_t kFolderDacl[] = L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
const wchar_t kPipeDacl[] = L"D:P(A;;FA;;;SY)(A;;FA;;;BA)";

}  // namespace

AdminOnlySecurity::AdminOnlySecurity(Kind kind) {
  const wchar_t* text = kind == kFolder ? kFolderDacl : kPipeDacl;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(text, SDDL_REVISION_1, &descriptor_,
                                                            nullptr))
    descriptor_ = nullptr;
  attributes_.nLength = sizeof attributes_;
  attributes_.lpSecurityDescriptor = descriptor_;
  attributes_.bInheritHandle = FALSE;
}

AdminOnlySecurity::~AdminOnlySecurity() {
  if (descriptor_) LocalFree(descriptor_);
}

}  // namespace platform
}  // namespace orvex
