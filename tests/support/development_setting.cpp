#include "tests/support/development_setting.h"

#include <stdexcept>

#include "platform/development_settings.h"

#ifdef _WIN32
#include <windows.h>

#include "base/text.h"
#else
#include <cstdlib>
#endif

namespace orvex {
namespace test {

void WriteDevelopmentSetting(const char* name, const std::optional<std::string>& value) {
#ifdef _WIN32
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, platform::kDevelopmentSettingsKey, 0, nullptr, 0,
                      KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr) != ERROR_SUCCESS)
    throw std::runtime_error("cannot open the development settings' key");
  const std::wstring wideName = Utf8ToWide(name);
  LONG result = ERROR_SUCCESS;
  if (value) {
    const std::wstring text = Utf8ToWide(*value);
    result = RegSetValueExW(key, wideName.c_str(), 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  } else {
    result = RegDeleteValueW(key, wideName.c_str());
    if (result == ERROR_FILE_NOT_FOUND) result = ERROR_SUCCESS;
  }
  RegCloseKey(key);
  if (result != ERROR_SUCCESS)
    throw std::runtime_error(std::string("cannot write the development setting ") + name);
#else
  if (value ? setenv(name, value->c_str(), 1) != 0 : unsetenv(name) != 0)
    throw std::runtime_error(std::string("cannot set the environment variable ") + name);
#endif
}

ScopedDevelopmentSetting::ScopedDevelopmentSetting(const char* name,
                                                   std::optional<std::string> value)
    : name_(name) {
  std::string old;
  if (platform::FindDevelopmentSetting(name, &old)) old_ = old;
  WriteDevelopmentSetting(name_, value);
}

ScopedDevelopmentSetting::~ScopedDevelopmentSetting() {
  try {
    WriteDevelopmentSetting(name_, old_);
  } catch (const std::exception&) {
    // A destructor must not throw; the next test that reads the setting shows it.
  }
}

}  // namespace test
}  // namespace orvex
