// The host's process environment, read through the C runtime.
#include "platform/environment.h"

#include <cstdlib>

#include "engine/text.h"

namespace orvex {
namespace platform {

bool FindEnvironmentVariable(const char* name, std::string* value) {
  const char* found = std::getenv(name);
  if (!found) return false;
  if (value) *value = found;
  return true;
}

std::string EnvironmentVariable(const char* name) {
  std::string value;
  FindEnvironmentVariable(name, &value);
  return value;
}

std::wstring EnvironmentVariableW(const wchar_t* name) {
  return Utf8ToWide(EnvironmentVariable(WideToUtf8(name).c_str()));
}

}  // namespace platform
}  // namespace orvex
