// Installing a package through msi.dll.
#include "platform/msi_install.h"

#include <windows.h>
#include <msi.h>

#include "base/text.h"

namespace orvex {
namespace platform {

static_assert(sizeof(uint32_t) == sizeof(UINT), "message type");

uint32_t SetInstallUiLevel(uint32_t level) {
  return static_cast<uint32_t>(MsiSetInternalUI(static_cast<INSTALLUILEVEL>(level), nullptr));
}

InstallMessageHandler SetInstallMessageHandler(InstallMessageHandler handler, uint32_t filter,
                                               void* context) {
  INSTALLUI_HANDLERW previous =
      MsiSetExternalUIW(reinterpret_cast<INSTALLUI_HANDLERW>(handler), filter, context);
  return reinterpret_cast<InstallMessageHandler>(previous);
}

uint32_t InstallProduct(const std::wstring& packagePath, const std::wstring& commandLine) {
  return MsiInstallProductW(packagePath.c_str(), commandLine.c_str());
}

std::string SystemErrorText(uint32_t code) {
  wchar_t text[1024] = {};
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                     MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text, 1023, nullptr);
  return WideToUtf8(std::wstring(text, length));
}

}  // namespace platform
}  // namespace orvex
