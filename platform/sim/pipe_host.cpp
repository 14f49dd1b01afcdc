// The presence pipe on the simulated machine: the machine keeps the names of the pipes the
// program holds open (MachineState's "openPipes"), and a name that is open already is not
// made a second time, as Windows refuses a pipe that must be the first instance.
#include "platform/pipe.h"

#include <mutex>

#include "platform/sim/machine_internal.h"

namespace orvex {
namespace platform {

void PresencePipe::Close() {
  if (!handle_) return;
  std::wstring* name = static_cast<std::wstring*>(handle_);
  {
    std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
    sim::CurrentMachine().openPipes.erase(*name);
  }
  delete name;
  handle_ = nullptr;
}

PresencePipe CreatePresencePipe(const std::wstring& name) {
  PresencePipe pipe;
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  if (!sim::CurrentMachine().openPipes.insert(name).second) return pipe;
  pipe.handle_ = new std::wstring(name);
  return pipe;
}

}  // namespace platform
}  // namespace orvex
