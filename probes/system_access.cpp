#include "probes/system_access.h"

namespace orvex {

namespace {

constexpr uint8_t kAccessAllowedAceType = 0;
constexpr uint32_t kReadMask = 0x81;  // FILE_READ_DATA | FILE_READ_ATTRIBUTES
constexpr uint32_t kWriteMask =
    0x116;  // FILE_WRITE_DATA | APPEND_DATA | WRITE_EA | WRITE_ATTRIBUTES

}  // namespace

bool SystemAccessAllowed(const std::vector<platform::AccessEntry>& entries) {
  bool denyRead = false;
  bool denyWrite = false;
  for (const platform::AccessEntry& entry : entries) {
    if (entry.type == kAccessAllowedAceType || entry.sid != L"S-1-5-18") continue;
    if (entry.mask & kReadMask) denyRead = true;
    if (entry.mask & kWriteMask) denyWrite = true;
  }
  return !denyRead && !denyWrite;
}

}  // namespace orvex
