// HKEY_LOCAL_MACHINE through the Reg*W functions; results are their Windows codes.
#include <windows.h>

#include <vector>

#include "platform/registry.h"
#include "platform/win32/scoped_handle.h"

namespace orvex {
namespace platform {
namespace {

class RegistryKey : public IRegistryKey {
 public:
  explicit RegistryKey(HKEY key) : key_(key) {}

  uint32_t QuerySubKeyCount(uint32_t* count) override {
    DWORD subKeys = 0;
    LONG result = RegQueryInfoKeyW(key_.Get(), nullptr, nullptr, nullptr, &subKeys, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (result == ERROR_SUCCESS && count) *count = subKeys;
    return static_cast<uint32_t>(result);
  }

  uint32_t EnumSubKey(uint32_t index, uint32_t bufferChars, std::wstring* name) override {
    std::vector<wchar_t> buffer(bufferChars + 1, L'\0');
    DWORD length = bufferChars;
    LONG result = RegEnumKeyExW(key_.Get(), index, buffer.data(), &length, nullptr, nullptr,
                                nullptr, nullptr);
    if (result == ERROR_SUCCESS && name) name->assign(buffer.data(), length);
    return static_cast<uint32_t>(result);
  }

  uint32_t QueryValue(const std::wstring& name, uint32_t maxBytes,
                      RegistryValue* value) override {
    std::vector<uint8_t> buffer(maxBytes + 1, 0);
    DWORD type = 0;
    DWORD size = maxBytes;
    LONG result =
        RegQueryValueExW(key_.Get(), name.c_str(), nullptr, &type, buffer.data(), &size);
    if (result == ERROR_SUCCESS && value) {
      value->type = type;
      value->data.assign(buffer.begin(), buffer.begin() + size);
    }
    return static_cast<uint32_t>(result);
  }

  uint32_t SetValue(const std::wstring& name, const RegistryValue& value) override {
    return static_cast<uint32_t>(RegSetValueExW(key_.Get(), name.c_str(), 0, value.type,
                                                value.data.data(),
                                                static_cast<DWORD>(value.data.size())));
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

uint32_t OpenLocalMachineKey(const std::wstring& path, RegistryAccess access, RegistryView view,
                             std::unique_ptr<IRegistryKey>* key) {
  REGSAM rights = access == RegistryAccess::kAllAccess ? KEY_ALL_ACCESS : KEY_READ;
  HKEY opened = nullptr;
  LONG result =
      RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, rights | ViewFlag(view), &opened);
  if (result != ERROR_SUCCESS) return static_cast<uint32_t>(result);
  key->reset(new RegistryKey(opened));
  return ERROR_SUCCESS;
}

uint32_t CreateLocalMachineKey(const std::wstring& path, RegistryView view,
                               std::unique_ptr<IRegistryKey>* key) {
  HKEY created = nullptr;
  LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                KEY_ALL_ACCESS | ViewFlag(view), nullptr, &created, nullptr);
  if (result != ERROR_SUCCESS) return static_cast<uint32_t>(result);
  key->reset(new RegistryKey(created));
  return ERROR_SUCCESS;
}

uint32_t GetLocalMachineDwordOrBinary(const std::wstring& path, const std::wstring& name,
                                      uint32_t* number) {
  // RRF_RT_REG_BINARY | RRF_RT_REG_DWORD is RRF_RT_DWORD: a binary value must be exactly four
  // bytes long, other lengths give ERROR_DATATYPE_MISMATCH.
  DWORD data = 0;
  DWORD size = sizeof data;
  LONG result = RegGetValueW(HKEY_LOCAL_MACHINE, path.c_str(), name.c_str(),
                             RRF_RT_REG_BINARY | RRF_RT_REG_DWORD, nullptr, &data, &size);
  if (result == ERROR_SUCCESS && number) *number = data;
  return static_cast<uint32_t>(result);
}

}  // namespace platform
}  // namespace orvex
