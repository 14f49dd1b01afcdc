// The processor, memory and screen of the simulated machine, from the profile's "cpuid",
// "processorFeatures", "memoryKb" and "screen".
#include "platform/processor.h"

#include "platform/sim/machine_internal.h"

namespace orvex {
namespace platform {
namespace {

uint32_t Register(const Json::Value& leaf, const char* name) {
  uint64_t value = 0;
  return sim::ProfileNumber(leaf[name], &value) ? static_cast<uint32_t>(value) : 0;
}

}  // namespace

// A leaf the profile does not list answers zeros. Leaf names are "0x1" or "1".
CpuidRegisters Cpuid(uint32_t leaf) {
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  const Json::Value& leaves = sim::CurrentMachine().profile["cpuid"];
  CpuidRegisters registers;
  for (const std::string& name : leaves.getMemberNames()) {
    uint64_t number = 0;
    if (!sim::ProfileNumber(name, &number) || number != leaf) continue;
    registers.eax = Register(leaves[name], "eax");
    registers.ebx = Register(leaves[name], "ebx");
    registers.ecx = Register(leaves[name], "ecx");
    registers.edx = Register(leaves[name], "edx");
  }
  return registers;
}

bool ProcessorFeaturePresent(uint32_t feature) {
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  for (const Json::Value& listed : sim::CurrentMachine().profile["processorFeatures"]) {
    uint64_t number = 0;
    if (sim::ProfileNumber(listed, &number) && number == feature) return true;
  }
  return false;
}

// Without "memoryKb" the call fails, as it does on machines whose firmware tables lack it.
bool GetPhysicallyInstalledMemoryKb(uint64_t* kilobytes) {
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  uint64_t value = 0;
  if (!sim::ProfileNumber(sim::CurrentMachine().profile["memoryKb"], &value)) return false;
  if (kilobytes) *kilobytes = value;
  return true;
}

int ScreenWidth() {
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  return sim::CurrentMachine().profile["screen"].get("width", 0).asInt();
}

int ScreenHeight() {
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  return sim::CurrentMachine().profile["screen"].get("height", 0).asInt();
}

}  // namespace platform
}  // namespace orvex
