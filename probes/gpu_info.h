#pragma once
// One PCI video controller as the system information record and the graphics probes describe
// it. Apart from the record so that the graphics probes, which fill it, and the record, which
// holds it, need not include each other.

#include <string>

namespace orvex {

// One PCI video controller.
struct GpuInfo {
  std::string name;
  std::string driverVersion;
  std::string vendorId;
  std::string deviceId;
  int buildNum = 0;
  std::string driverProvider;  // "INTEL", "ATI", "NVIDIA", "MICROSOFT" or ""
  std::string manufacturer;    // "INTEL", "NVIDIA", "ATI" or "UNKNOWN"
  bool active = false;
};

}  // namespace orvex
