#pragma once
// A listed video controller for tests that build a system information record by hand.

#include <string>

#include "probes/system_info.h"

namespace orvex {
namespace test {

inline GpuInfo MakeGpu(const std::string& name, const std::string& driverVersion,
                       const std::string& vendorId, const std::string& deviceId, int buildNum,
                       const std::string& driverProvider, const std::string& manufacturer) {
  GpuInfo gpu;
  gpu.name = name;
  gpu.driverVersion = driverVersion;
  gpu.vendorId = vendorId;
  gpu.deviceId = deviceId;
  gpu.buildNum = buildNum;
  gpu.driverProvider = driverProvider;
  gpu.manufacturer = manufacturer;
  gpu.active = true;
  return gpu;
}

}  // namespace test
}  // namespace orvex
