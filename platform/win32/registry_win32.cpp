// HKEY_LOCAL_MACHINE through the Reg*W functions; a failure reports their result code.
#include "platform/registry.h"

#include <windows.h>

#include <memory>
#include <vector>

#include "platform/win32/scoped_handle.h"
#include "platform/win_codes.h"

namespace orvex {
namespace platform {
namespace {

// True for ERROR_SUCCESS; any other LSTATUS goes to *error.
bool Succeeded(LONG result, uint32_t* error) {
  return result == ERROR_SUCCESS || ReportError(static_cast<uint32_t>(result), error);
}

class RegistryKey : public IRegistryKey {
 public:
  explicit RegistryKey(HKEY key) : key_(key) {}

  bool QuerySubKeyCount(uint32_t* count, uint32_t* error) override {
    DWORD subKeys = 0;
    LONG result = RegQueryInfoKeyW(key_.Get(), nullptr, nullptr, nullptr, &subKeys, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (!Succeeded(result, error)) return false;
    if (count) *count = subKeys;
    return true;
  }

  bool EnumSubKey(uint32_t index, uint32_t bufferChars, std::wstring* name,
                  uint32_t* error) override {
    std::vector<wchar_t> buffer(bufferChars + 1, L'\0');
    DWORD length = bufferChars;
    LONG result = RegEnumKeyExW(key_.Get(), index, buffer.data(), &length, nullptr, nullptr,
                                nullptr, nullptr);
    if (!Succeeded(result, error)) return false;
    if (name) name->assign(buffer.data(), length);
    return true;
  }

  bool QueryValue(const std::wstring& name, uint32_t maxBytes, RegistryValue* value,
                  uint32_t* error) override {
    std::vector<uint8_t> buffer(maxBytes + 1, 0);
    DWORD type = 0;
    DWORD size = maxBytes;
    LONG result = RegQueryValueExW(key_.Get(), name.c_str(), nullptr, &type, buffer.data(), &size);
    if (!Succeeded(result, error)) return false;
    if (value) {
      value->type = type;
      value->data.assign(buffer.begin(), buffer.begin() + size);
    }
    return true;
  }

  bool SetValue(const std::wstring& name, const RegistryValue& value, uint32_t* error) override {
    return Succeeded(RegSetValueExW(key_.Get(), name.c_str(), 0, value.type, value.data.data(),
                                    static_cast<DWORD>(value.data.size())),
                     error);
  }

 private:
  ScopedRegistryKey key_;
};

REGSAM ViewFlag(RegistryView view) {
  switch (view) {
    case RegistryView::k64Bit:
      return KEY_WOW64_64KEY;
    case RegistryView::k32Bit:
      return KEY_WOW64_32KEY;
    case RegistryView::kDefault:
      break;
  }
  return 0;
}

}  // namespace

std::unique_ptr<IRegistryKey> OpenLocalMachineKey(const std::wstring& path, RegistryAccess access,
                                                  RegistryView view, uint32_t* error) {
  REGSAM rights = access == RegistryAccess::kAllAccess ? KEY_ALL_ACCESS : KEY_READ;
  HKEY opened = nullptr;
  LONG result =
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, rights | ViewFlag(view), &opened);
  if (!Succeeded(result, error)) return nullptr;
  return std::make_unique<RegistryKey>(opened);
}

std::unique_ptr<IRegistryKey> CreateLocalMachineKey(const std::wstring& path, RegistryView view,
                                                    uint32_t* error) {
  HKEY created = nullptr;
  LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                KEY_ALL_ACCESS | ViewFlag(view), nullptr, &created, nullptr);
  if (!Succeeded(result, error)) return nullptr;
  return std::make_unique<RegistryKey>(created);
}

bool GetLocalMachineDwordOrBinary(const std::wstring& path, const std::wstring& name,
                                  uint32_t* number, uint32_t* error) {
  // RRF_RT_REG_BINARY | RRF_RT_REG_DWORD is RRF_RT_DWORD: a binary value must be exactly four
  // bytes long, other lengths give ERROR_DATATYPE_MISMATCH.
  DWORD data = 0;
  DWORD size = sizeof data;
  LONG result = RegGetValueW(HKEY_LOCAL_MACHINE, path.c_str(), name.c_str(),
                             RRF_RT_REG_BINARY | RRF_RT_REG_DWORD, nullptr, &data, &size);
  if (!Succeeded(result, error)) return false;
  if (number) *number = data;
  return true;
}

}  // namespace platform
}  // namespace orvex
