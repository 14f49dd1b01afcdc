// The environment of the simulated machine: the host process's own variables, and behind them
// the profile's (SystemRoot, TEMP, USERNAME ...). A variable the process sets wins; the
// profile's names match without regard to case, as Windows matches them.
#include "platform/environment.h"

#include <cstdlib>

#include "base/text.h"
#include "platform/sim/machine_internal.h"

namespace orvex {
namespace platform {

bool FindEnvironmentVariable(const char* name, std::string* value) {
  if (const char* found = std::getenv(name)) {
    if (value) *value = found;
    return true;
  }
  return sim::ProfileEnvironmentVariable(name, value);
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
