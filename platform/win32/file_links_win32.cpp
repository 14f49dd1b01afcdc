#include "platform/file_links.h"

#include <windows.h>

namespace orvex {
namespace platform {

bool MakeHardLink(const std::wstring& link, const std::wstring& existing, uint32_t* error) {
  if (CreateHardLinkW(link.c_str(), existing.c_str(), nullptr)) return true;
  if (error) *error = GetLastError();
  return false;
}

}  // namespace platform
}  // namespace orvex
