#include "platform/shell.h"

#include <windows.h>
#include <shellapi.h>

#include "base/text.h"

namespace orvex {
namespace platform {

void OpenUrl(const std::string& url) {
  // No verb: the shell's default action for an address is to open it in the browser.
  ShellExecuteW(nullptr, nullptr, ToWide(url).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

std::vector<std::string> OpenedUrls() { return std::vector<std::string>(); }

}  // namespace platform
}  // namespace orvex
