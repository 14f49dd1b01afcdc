// The C runtime's copy of the environment serves both builds: on Windows it is taken from the
// process environment at start-up and follows _putenv, which is all the installer needs.
#include "platform/environment.h"

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
  FindEnvironmentVariable(name, &value);
  return value;
}

}  // namespace platform
}  // namespace orvex
