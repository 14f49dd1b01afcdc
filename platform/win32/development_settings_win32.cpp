// The development settings from HKEY_LOCAL_MACHINE, read with the wide registry calls in the
// 64-bit view (the 32-bit installer on 64-bit Windows would otherwise read Wow6432Node, a key
// of its own that an administrator setting up a test machine would not think of).
#include "platform/development_settings.h"

#include <windows.h>

#include <vector>

#include "base/text.h"

namespace orvex {
namespace platform {

namespace {

// Longer values are not settings anybody writes; the read stays bounded.
constexpr DWORD kLongestValueBytes = 64 * 1024;

}  // namespace

bool FindDevelopmentSetting(const char* name, std::string* value) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kDevelopmentSettingsKey, 0,
                    KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS)
    return false;
  // Two extra zero characters: a stored string need not end with its own.
  std::vector<wchar_t> buffer(kLongestValueBytes / sizeof(wchar_t) + 2, L'\0');
  DWORD type = 0;
  DWORD size = kLongestValueBytes;
  const LONG result = RegQueryValueExW(key, Utf8ToWide(name).c_str(), nullptr, &type,
                                       reinterpret_cast<BYTE*>(buffer.data()), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS || type != REG_SZ) return false;
  if (value) *value = WideToUtf8(std::wstring(buffer.data()));
  return true;
}

std::string DevelopmentSetting(const char* name) {
  std::string value;
  if (!FindDevelopmentSetting(name, &value)) return std::string();
  return value;
}

}  // namespace platform
}  // namespace orvex
