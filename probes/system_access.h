#pragma once
// Whether an access list lets the SYSTEM account read and write.

#include <vector>

#include "platform/security.h"

namespace orvex {

// The decision on an access list: false when a deny entry for "S-1-5-18" covers reading
// (FILE_READ_DATA, FILE_READ_ATTRIBUTES) or writing (FILE_WRITE_DATA, FILE_APPEND_DATA,
// FILE_WRITE_EA, FILE_WRITE_ATTRIBUTES).
bool SystemAccessAllowed(const std::vector<platform::AccessEntry>& entries);

}  // namespace orvex
