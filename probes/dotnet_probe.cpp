#include "probes/dotnet_probe.h"

#include <memory>

#include "base/text.h"
#include "platform/registry.h"

namespace orvex {

namespace {

const wchar_t kNdpKey[] = L"Software\\Microsoft\\NET Framework Setup\\NDP";

uint32_t ReadInstallFlag(const std::wstring& keyPath) {
  uint32_t install = 0;
  // A value that is missing or of another kind counts as not installed.
  if (!platform::GetLocalMachineDwordOrBinary(keyPath, L"Install", &install, nullptr)) return 0;
  return install;
}

// A version key counts when it says it is installed, or when its client profile does.
bool IsInstalledVersionKey(const std::wstring& keyPath) {
  const uint32_t install = ReadInstallFlag(keyPath);
  if (install == 1) return true;
  return install == 0 && ReadInstallFlag(keyPath + L"\\Client") == 1;
}

}  // namespace

std::string ReadDotNetVersion() {
  std::unique_ptr<platform::IRegistryKey> ndp = platform::OpenLocalMachineKey(
      kNdpKey, platform::RegistryAccess::kRead, platform::RegistryView::kDefault, nullptr);
  if (!ndp) return std::string();
  uint32_t count = 0;
  if (!ndp->QuerySubKeyCount(&count, nullptr) || count == 0) return std::string();
  std::wstring version;
  for (uint32_t index = 0; index < count; ++index) {
    std::wstring name;
    if (!ndp->EnumSubKey(index, 256, &name, nullptr)) continue;
    if (name.empty() || name[0] != L'v') continue;
    if (IsInstalledVersionKey(std::wstring(kNdpKey) + L"\\" + name)) version = name;
  }
  return version.empty() ? std::string() : ToNarrow(version.substr(1));
}

}  // namespace orvex
