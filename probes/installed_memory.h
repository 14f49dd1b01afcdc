#pragma once
// The installed physical memory, asked of the machine.

#include <cstdint>

namespace orvex {

// Installed physical memory in MB (kilobytes / 1024); 3072 when the size is unavailable or 0.
uint64_t InstalledMemoryMb();

}  // namespace orvex
