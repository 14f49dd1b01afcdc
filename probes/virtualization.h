#pragma once
// Hardware virtualization (Intel VT-x, AMD-V): supported by the processor, and enabled.

#include <string>

namespace orvex {

struct VtStatus {
  bool supported = false;
  bool enabled = false;
};

// directory: where a copy of the register driver may be found ("" when none).
VtStatus CheckVirtualization(const std::wstring& directory);

}  // namespace orvex
