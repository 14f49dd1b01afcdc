#include "platform/processor.h"

#include <windows.h>
#include <cpuid.h>

namespace orvex {
namespace platform {

CpuidRegisters Cpuid(uint32_t leaf) {
  CpuidRegisters registers;
  unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
  __cpuid_count(leaf, 0, eax, ebx, ecx, edx);
  registers.eax = eax;
  registers.ebx = ebx;
  registers.ecx = ecx;
  registers.edx = edx;
  return registers;
}

bool ProcessorFeaturePresent(uint32_t feature) { return IsProcessorFeaturePresent(feature) != 0; }

bool GetPhysicallyInstalledMemoryKb(uint64_t* kilobytes) {
  ULONGLONG installed = 0;
  if (!GetPhysicallyInstalledSystemMemory(&installed)) return false;
  if (kilobytes) *kilobytes = installed;
  return true;
}

int ScreenWidth() { return GetSystemMetrics(SM_CXSCREEN); }

int ScreenHeight() { return GetSystemMetrics(SM_CYSCREEN); }

}  // namespace platform
}  // namespace orvex
