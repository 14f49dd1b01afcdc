#pragma once
// The development settings: what points the installer at local test services, makes it read a
// configuration file instead of the web service, or dumps its session document. The installer
// runs elevated, so on Windows they are the string values (REG_SZ) of
// HKEY_LOCAL_MACHINE\Software\Quarn\Orvex\Development in the 64-bit view, which only an
// administrator can write, each named after the setting ("QUARN_OI_RUNMODE", "BASE_DOMAIN"
// ...); nothing of the user's environment takes their place. The simulated machine (the host's
// console installer and tests) takes them from the process environment, under the same names.

#include <string>

namespace orvex {
namespace platform {

// The key that holds the settings on Windows, below HKEY_LOCAL_MACHINE.
constexpr const wchar_t* kDevelopmentSettingsKey = L"Software\\Quarn\\Orvex\\Development";

// Whether the setting is present; its value, as UTF-8, goes to *value when it is (and value is
// not null). A value of another type than REG_SZ is not a setting.
[[nodiscard]] bool FindDevelopmentSetting(const char* name, std::string* value);

// The setting's value, "" when it is absent.
std::string DevelopmentSetting(const char* name);

}  // namespace platform
}  // namespace orvex
