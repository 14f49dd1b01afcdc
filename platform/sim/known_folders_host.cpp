// The machine's known folders on the simulated machine: from the profile, never from the
// environment (the profile's "environment" is what a process would be handed).
#include "platform/known_folders.h"

#include <mutex>

#include "base/text.h"
#include "platform/sim/machine_internal.h"

namespace orvex {
namespace platform {

std::wstring ProgramDataFolder() {
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  const Json::Value& folder = sim::CurrentMachine().profile["programDataDirectory"];
  return folder.isString() ? Utf8ToWide(folder.asString()) : std::wstring(L"C:\\ProgramData");
}

}  // namespace platform
}  // namespace orvex
