#pragma once
// The registry under HKEY_LOCAL_MACHINE. Key paths are UTF-16 and relative to
// HKEY_LOCAL_MACHINE; values keep their Windows type and raw bytes. Each call returns the
// Windows result code (0 for success), as the Reg* functions do.

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
  virtual uint32_t QuerySubKeyCount(uint32_t* count) = 0;
  // RegEnumKeyExW(index) with a buffer of bufferChars characters.
  virtual uint32_t EnumSubKey(uint32_t index, uint32_t bufferChars, std::wstring* name) = 0;
  // RegQueryValueExW: type and raw bytes. maxBytes limits the buffer as the caller's would
  // (ERROR_MORE_DATA when the value is longer).
  virtual uint32_t QueryValue(const std::wstring& name, uint32_t maxBytes,
                              RegistryValue* value) = 0;
  // RegSetValueExW with the value's type and bytes.
  virtual uint32_t SetValue(const std::wstring& name, const RegistryValue& value) = 0;
};

// RegOpenKeyExW(HKEY_LOCAL_MACHINE, path, 0, access | view flag). On success *key is open.
uint32_t OpenLocalMachineKey(const std::wstring& path, RegistryAccess access, RegistryView view,
                             std::unique_ptr<IRegistryKey>* key);

// RegCreateKeyExW(HKEY_LOCAL_MACHINE, path, ..., KEY_ALL_ACCESS | view flag): opens or creates
// the key (and its parents) in the given view.
uint32_t CreateLocalMachineKey(const std::wstring& path, RegistryView view,
                               std::unique_ptr<IRegistryKey>* key);

// RegGetValueW(HKEY_LOCAL_MACHINE, path, name, RRF_RT_REG_BINARY | RRF_RT_REG_DWORD, ...)
// into 4 bytes, as the .NET probe reads "Install": a REG_DWORD, or a REG_BINARY of exactly four
// bytes (other lengths give ERROR_DATATYPE_MISMATCH). *number is left unchanged on failure.
uint32_t GetLocalMachineDwordOrBinary(const std::wstring& path, const std::wstring& name,
                                      uint32_t* number);

}  // namespace platform
}  // namespace orvex
