#pragma once
// The processor and the machine's fixed resources: CPUID, processor features, installed
// memory and the primary screen.

#include <cstdint>

namespace orvex {
namespace platform {

struct CpuidRegisters {
  uint32_t eax = 0, ebx = 0, ecx = 0, edx = 0;
};

// The CPUID instruction with the leaf and sub-leaf 0.
CpuidRegisters Cpuid(uint32_t leaf);

// IsProcessorFeaturePresent(feature), e.g. 21 = PF_VIRT_FIRMWARE_ENABLED.
[[nodiscard]] bool ProcessorFeaturePresent(uint32_t feature);

// GetPhysicallyInstalledSystemMemory: kilobytes, false when the call failed.
[[nodiscard]] bool GetPhysicallyInstalledMemoryKb(uint64_t* kilobytes);

// GetSystemMetrics(SM_CXSCREEN) and (SM_CYSCREEN).
int ScreenWidth();
int ScreenHeight();

}  // namespace platform
}  // namespace orvex
