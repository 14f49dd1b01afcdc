// The C runtime's copy of the environment serves the narrow lookups: it is taken from the
// process environment at start-up and follows _putenv, which is all the installer needs. The
// wide lookup asks Windows directly.
#include "platform/environment.h"

#include <windows.h>

#include <cstdlib>

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
  if (!FindEnvironmentVariable(name, &value)) return std::string();
  return value;
}

std::wstring EnvironmentVariableW(const wchar_t* name) {
  DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
  if (size == 0) return std::wstring();
  std::wstring value(size, L'\0');
  DWORD written = GetEnvironmentVariableW(name, &value[0], size);
  if (written == 0 || written >= size) return std::wstring();
  value.resize(written);
  return value;
}

}  // namespace platform
}  // namespace orvex
