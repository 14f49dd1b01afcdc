// HKEY_LOCAL_MACHINE of the simulated machine, failing with the Windows result codes. The
// installer is a 32-bit program: on a 64-bit machine its default view of SOFTWARE is
// SOFTWARE\WOW6432Node. Writes are kept in the machine's state.
#include "platform/registry.h"

#include <iterator>
#include <memory>

#include "base/text.h"
#include "platform/profile_notation.h"
#include "platform/sim/machine_internal.h"
#include "platform/win_codes.h"

namespace orvex {
namespace platform {
namespace {

constexpr uint32_t kErrorKeyDeleted = 1018;
constexpr uint32_t kErrorDatatypeMismatch = 1629;
constexpr uint32_t kErrorUnsupportedType = 1630;

class SimRegistryKey : public IRegistryKey {
 public:
  SimRegistryKey(std::vector<std::wstring> path, bool writable, uint64_t generation)
      : path_(std::move(path)), writable_(writable), generation_(generation) {}

  bool QuerySubKeyCount(uint32_t* count, uint32_t* error) override {
    std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
    sim::RegistryNode* key = Key();
    if (!key) return ReportError(kErrorKeyDeleted, error);
    if (count) *count = static_cast<uint32_t>(key->subKeys.size());
    return true;
  }

  bool EnumSubKey(uint32_t index, uint32_t bufferChars, std::wstring* name,
                  uint32_t* error) override {
    std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
    sim::RegistryNode* key = Key();
    if (!key) return ReportError(kErrorKeyDeleted, error);
    if (index >= key->subKeys.size()) return ReportError(kErrorNoMoreItems, error);
    auto entry = key->subKeys.begin();
    std::advance(entry, index);
    // The buffer holds the name and its terminating zero.
    if (entry->second->name.size() + 1 > bufferChars) return ReportError(kErrorMoreData, error);
    if (name) *name = entry->second->name;
    return true;
  }

  bool QueryValue(const std::wstring& name, uint32_t maxBytes, RegistryValue* value,
                  uint32_t* error) override {
    std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
    sim::RegistryNode* key = Key();
    if (!key) return ReportError(kErrorKeyDeleted, error);
    auto found = key->values.find(name);
    if (found == key->values.end()) return ReportError(kErrorFileNotFound, error);
    if (found->second.data.size() > maxBytes) return ReportError(kErrorMoreData, error);
    if (value) *value = found->second;
    return true;
  }

  bool SetValue(const std::wstring& name, const RegistryValue& value, uint32_t* error) override {
    std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
    sim::RegistryNode* key = Key();
    if (!key) return ReportError(kErrorKeyDeleted, error);
    if (!writable_) return ReportError(kErrorAccessDenied, error);
    key->values[name] = value;
    sim::Machine& machine = sim::CurrentMachine();
    Json::Value write;
    write["key"] = WideToUtf8(machine.registry.StoredPath(path_));
    write["name"] = WideToUtf8(name);
    write["value"] = platform::RegistryValueToJson(value);
    machine.registryWrites.append(write);
    return true;
  }

 private:
  // The key in the machine, or null when it is gone (the machine was replaced).
  sim::RegistryNode* Key() {
    sim::Machine& machine = sim::CurrentMachine();
    if (machine.generation != generation_) return nullptr;
    return machine.registry.Find(path_);
  }

  std::vector<std::wstring> path_;
  bool writable_;
  uint64_t generation_;
};

}  // namespace

std::unique_ptr<IRegistryKey> OpenLocalMachineKey(const std::wstring& path, RegistryAccess access,
                                                  RegistryView view, uint32_t* error) {
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  sim::Machine& machine = sim::CurrentMachine();
  std::vector<std::wstring> names = sim::ViewPath(path, view, machine.is64Bit);
  if (!machine.registry.Find(names)) {
    ReportError(kErrorFileNotFound, error);
    return nullptr;
  }
  return std::make_unique<SimRegistryKey>(std::move(names), access == RegistryAccess::kAllAccess,
                                          machine.generation);
}

std::unique_ptr<IRegistryKey> CreateLocalMachineKey(const std::wstring& path, RegistryView view,
                                                    uint32_t* error) {
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  sim::Machine& machine = sim::CurrentMachine();
  std::vector<std::wstring> names = sim::ViewPath(path, view, machine.is64Bit);
  if (names.empty()) {
    ReportError(kErrorInvalidParameter, error);
    return nullptr;
  }
  if (!machine.registry.Find(names)) {
    machine.registry.Create(names);
    machine.createdKeys.append(WideToUtf8(machine.registry.StoredPath(names)));
  }
  return std::make_unique<SimRegistryKey>(std::move(names), true, machine.generation);
}

bool GetLocalMachineDwordOrBinary(const std::wstring& path, const std::wstring& name,
                                  uint32_t* number, uint32_t* error) {
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  sim::Machine& machine = sim::CurrentMachine();
  sim::RegistryNode* key =
      machine.registry.Find(sim::ViewPath(path, RegistryView::kDefault, machine.is64Bit));
  if (!key) return ReportError(kErrorFileNotFound, error);
  auto found = key->values.find(name);
  if (found == key->values.end()) return ReportError(kErrorFileNotFound, error);
  const RegistryValue& value = found->second;
  if (value.type != kRegDword && value.type != kRegBinary) {
    return ReportError(kErrorUnsupportedType, error);
  }
  // Asked for a 32-bit number, RegGetValueW takes a REG_BINARY only when it is exactly four
  // bytes long, like a REG_DWORD; any other length is a type mismatch, not a short read.
  if (value.data.size() != 4) return ReportError(kErrorDatatypeMismatch, error);
  uint32_t read = 0;
  for (std::size_t i = 0; i < 4; ++i) read |= uint32_t(value.data[i]) << (8 * i);
  if (number) *number = read;
  return true;
}

}  // namespace platform
}  // namespace orvex
