// The environment is read from Windows in UTF-16 and handed on in UTF-8, so a value in any
// script arrives whole whatever the ANSI code page (the C runtime's narrow copy would carry it
// in that code page, with '?' for what it lacks). _putenv and SetEnvironmentVariable both
// change the block read here.
#include "platform/environment.h"

#include <windows.h>

#include "base/text.h"

namespace orvex {
namespace platform {

bool FindEnvironmentVariable(const char* name, std::string* value) {
  const std::wstring wideName = Utf8ToWide(name);
  // An empty value needs a buffer of one character; the size asked first includes the zero.
  DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
  if (size == 0) return false;
  for (;;) {
    std::wstring found(size, L'\0');
    SetLastError(ERROR_SUCCESS);  // an empty value also answers 0
    const DWORD written = GetEnvironmentVariableW(wideName.c_str(), &found[0], size);
    if (written == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) return false;
    if (written < size) {
      found.resize(written);
      if (value) *value = WideToUtf8(found);
      return true;
    }
    size = written;  // it grew in between: the size it needs now
  }
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
