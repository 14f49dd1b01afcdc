#pragma once
// The registry under HKEY_LOCAL_MACHINE. Key paths are UTF-16 and relative to
// HKEY_LOCAL_MACHINE; values keep their Windows type and raw bytes. Each call reports failure
// as platform/README.md says: false (or null), with the Reg* function's result code (LSTATUS)
// in *error when error is not null.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace orvex {
namespace platform {

// Registry view of the 32-bit installer: kDefault follows WOW64 redirection (a 32-bit process
// on 64-bit Windows sees "Software\\Wow6432Node"), the other two pick a view explicitly.
enum class RegistryView { kDefault, k64Bit, k32Bit };

enum class RegistryAccess { kRead, kAllAccess };

// Registry value types (REG_*).
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;
constexpr uint32_t kRegBinary = 3;
constexpr uint32_t kRegDword = 4;
constexpr uint32_t kRegMultiSz = 7;
constexpr uint32_t kRegQword = 11;

struct RegistryValue {
  uint32_t type = 0;
  std::vector<uint8_t> data;  // as stored: REG_SZ is UTF-16LE with its terminating zero
};

// An open key (HKEY). Destroying it closes the key.
class IRegistryKey {
 public:
  virtual ~IRegistryKey() = default;
  // RegQueryInfoKeyW: the number of sub-keys.
  [[nodiscard]] virtual bool QuerySubKeyCount(uint32_t* count, uint32_t* error) = 0;
  // RegEnumKeyExW(index) with a buffer of bufferChars characters: ERROR_NO_MORE_ITEMS past the
  // last sub-key, ERROR_MORE_DATA when the name and its zero do not fit.
  [[nodiscard]] virtual bool EnumSubKey(uint32_t index, uint32_t bufferChars, std::wstring* name,
                                        uint32_t* error) = 0;
  // RegQueryValueExW: type and raw bytes. maxBytes limits the buffer as the caller's would
  // (ERROR_MORE_DATA when the value is longer).
  [[nodiscard]] virtual bool QueryValue(const std::wstring& name, uint32_t maxBytes,
                                        RegistryValue* value, uint32_t* error) = 0;
  // RegSetValueExW with the value's type and bytes.
  [[nodiscard]] virtual bool SetValue(const std::wstring& name, const RegistryValue& value,
                                      uint32_t* error) = 0;
};

// RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, access | view flag): the open key, or null.
[[nodiscard]] std::unique_ptr<IRegistryKey> OpenLocalMachineKey(const std::wstring& path,
                                                                RegistryAccess access,
                                                                RegistryView view, uint32_t* error);

// RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, ..., KEY_ALL_ACCESS | view flag): opens or creates
// the key (and its parents) in the given view; null on failure.
[[nodiscard]] std::unique_ptr<IRegistryKey> CreateLocalMachineKey(const std::wstring& path,
                                                                  RegistryView view,
                                                                  uint32_t* error);

// RegGetValueW(HKEY_LOCAL_MACHINE, path, name, RRF_RT_REG_BINARY | RRF_RT_REG_DWORD, ...)
// into 4 bytes, as the .NET probe reads "Install": a REG_DWORD, or a REG_BINARY of exactly four
// bytes (other lengths give ERROR_DATATYPE_MISMATCH). *number is left unchanged on failure.
[[nodiscard]] bool GetLocalMachineDwordOrBinary(const std::wstring& path, const std::wstring& name,
                                                uint32_t* number, uint32_t* error);

}  // namespace platform
}  // namespace orvex
