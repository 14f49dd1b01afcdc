#include "actions/restart_system.h"

#include <cstdlib>

#include "platform/security.h"

namespace orvex {

int CRestart::Execute(Json::Value& doc) {
  if (platform::RequestSystemRestart()) {
    // Windows is shutting down: nothing of the stage, its callbacks or the report runs any
    // more. exit() still runs exit handlers and static destructors.
    std::exit(0);
  }
  RecordResult(doc, "failed", "Unable to Reboot the System ", "");
  return -1;
}

}  // namespace orvex
