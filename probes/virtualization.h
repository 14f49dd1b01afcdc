#pragma once
// Hardware virtualization (Intel VT-x, AMD-V): supported by the processor, and enabled.

#include <string>

#include "probes/system_info.h"

namespace orvex {

struct VtStatus {
  bool supported = false;
  bool enabled = false;
};

// directory: where a copy of the register driver may be found ("" when none). Reads the
// processor vendor, Windows version and firmware flag from GetSystemInfo().
VtStatus CheckVirtualization(const std::wstring& directory);

// The same check on the facts of a given record.
VtStatus CheckVirtualization(const CSystemInfo& info, const std::wstring& directory);

}  // namespace orvex
