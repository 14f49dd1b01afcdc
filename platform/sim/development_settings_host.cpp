// On the simulated machine the development settings are the process environment's variables of
// the same names: the host's console installer is a developer's dry-run tool, run by the
// developer, and its tests set them per process.
#include "platform/development_settings.h"

#include "platform/environment.h"

namespace orvex {
namespace platform {

bool FindDevelopmentSetting(const char* name, std::string* value) {
  return FindEnvironmentVariable(name, value);
}

std::string DevelopmentSetting(const char* name) { return EnvironmentVariable(name); }

}  // namespace platform
}  // namespace orvex
