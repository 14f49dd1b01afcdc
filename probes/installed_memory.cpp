// Kept apart from the other facts: it asks the machine, they only read texts.
#include "probes/installed_memory.h"

#include "platform/processor.h"

namespace orvex {

uint64_t InstalledMemoryMb() {
  uint64_t kilobytes = 0;
  if (!platform::GetPhysicallyInstalledMemoryKb(&kilobytes)) return 3072;
  const uint64_t megabytes = kilobytes / 1024;
  return megabytes == 0 ? 3072 : megabytes;
}

}  // namespace orvex
