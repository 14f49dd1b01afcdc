#include "probes/environment_helpers.h"

#include "platform/environment.h"

namespace orvex {

std::string GetEnvString(const std::string& name) {
  return platform::EnvironmentVariable(name.c_str());
}

std::wstring GetEnvStringW(const std::wstring& name) {
  return platform::EnvironmentVariableW(name.c_str());
}

std::string GetSystemDrive() { return GetEnvString("SystemDrive"); }

}  // namespace orvex
