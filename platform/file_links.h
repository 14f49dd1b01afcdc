#pragma once
// Hard links: one file under a second name. Both names share the bytes, the attributes and the
// security descriptor, so a write through either changes the file under both.

#include <cstdint>
#include <string>

namespace orvex {
namespace platform {

// CreateHardLinkW(link, existing, NULL): link becomes another name of the existing file. Fails
// when link exists (ERROR_ALREADY_EXISTS), when the two lie on different volumes
// (ERROR_NOT_SAME_DEVICE) or the file system has no hard links; *error receives the reason.
[[nodiscard]] bool MakeHardLink(const std::wstring& link, const std::wstring& existing,
                                uint32_t* error);

}  // namespace platform
}  // namespace orvex
