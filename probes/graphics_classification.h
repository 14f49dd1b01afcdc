#pragma once
// How a PCI video controller is described: its ids from the PNP device id, its driver's build
// number, and two classifications (by the adapter's caption and by the PCI vendor id).

#include <string>

#include "probes/gpu_info.h"

namespace orvex {

// "INTEL", "ATI", "NVIDIA", "MICROSOFT" or "": the first of four case-insensitive searches of
// the caption that hits.
std::string ClassifyDriverProvider(const std::string& caption);

// "INTEL", "NVIDIA", "ATI" or "UNKNOWN" by the PCI vendor id, compared exactly.
std::string ClassifyVendorId(const std::string& vendorId);

// PCI\VEN_10DE&DEV_1401&SUBSYS_...: with more than two "&" pieces, the vendor id is the first
// piece without "PCI\VEN_" and the device id the second without "DEV_"; otherwise both stay "".
void SplitPnpDeviceId(const std::string& pnpDeviceId, std::string* vendorId, std::string* deviceId);

// The number after the last '.' of the driver version, 0 when there is no '.' or no number.
int DriverBuildNumber(const std::string& driverVersion);

// The WMI properties of one Win32_VideoController row.
struct VideoControllerProperties {
  std::string videoProcessor;
  std::string caption;
  std::string driverVersion;
  std::string pnpDeviceId;
};

GpuInfo DescribeVideoController(const VideoControllerProperties& properties);

}  // namespace orvex
