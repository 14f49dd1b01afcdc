#include "probes/machine_id.h"

#include <cstring>
#include <memory>

#include "base/text.h"
#include "platform/registry.h"
#include "probes/registry_values.h"

namespace orvex {

namespace {

// The identifier is Windows' own installation GUID (MachineGuid of the Cryptography key): it
// is written once when Windows is installed, survives reboots, hardware changes and our own
// reinstallation, needs no rights beyond reading HKLM, and is 36 characters, well within 75.
// It is read in the 64-bit view, where Windows keeps it; the 32-bit installer would otherwise
// look under Wow6432Node, where the value does not exist.
std::string ReadMachineGuid() {
  std::unique_ptr<platform::IRegistryKey> key = platform::OpenLocalMachineKey(
      L"SOFTWARE\\Microsoft\\Cryptography", platform::RegistryAccess::kRead,
      platform::RegistryView::k64Bit, nullptr);
  if (!key) return std::string();
  platform::RegistryValue value;
  if (!key->QueryValue(L"MachineGuid", 256, &value, nullptr)) return std::string();
  return ToNarrow(RegistryValueText(value));
}

}  // namespace

void ReadMachineIdentifier(char (&buffer)[76]) {
  std::string id = ReadMachineGuid();
  if (id.empty()) id = "invalid";
  const std::size_t length = id.size() < sizeof(buffer) - 1 ? id.size() : sizeof(buffer) - 1;
  std::memcpy(buffer, id.data(), length);
  buffer[length] = '\0';
}

}  // namespace orvex
