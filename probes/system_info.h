#pragma once
// The system information record: one consistent description of the machine, built once per
// process on first use and never refreshed.

#include <string>
#include <vector>

#include "probes/gpu_info.h"

namespace orvex {

struct CSystemInfo {
  std::string diskSerial;
  std::string hostId;
  std::string biosSerial;
  std::string osName;
  std::string osArch;
  std::string osVersion;
  int osMajor = 0;
  int osMinor = 0;
  std::string processorName;
  std::string processorMfr;
  int processorCount = 0;
  std::string manufacturer;
  std::string model;
  bool singleGpu = false;
  bool hypervisorPresent = false;
  bool vtFirmwareEnabled = false;
  std::string openglMajorText;
  std::string openglVersion;
  int openglMajor = 0;
  int openglMinor = 0;
  std::string openglVendor;
  std::string ramMb;
  std::string screenSize;
  std::string userName;
  std::string dotnetVersion;
  int dotnetMajor = 0;
  int dotnetMinor = 0;
  std::string systemDrive;
  std::vector<std::string> macAddresses;
  std::vector<std::string> securityProducts;
  std::vector<GpuInfo> gpus;
  int gpuCount = 0;
};

// Builds the record on the first call (once, also when several threads ask) and returns the
// same record on every later call.
const CSystemInfo& GetSystemInfo();

// Builds a fresh record from the machine as it is now; GetSystemInfo caches its first result.
CSystemInfo BuildSystemInfo();

// For tests: while an object lives, GetSystemInfo returns the given record instead of the
// process's own (which is neither built nor changed by this).
class ScopedSystemInfo {
 public:
  explicit ScopedSystemInfo(const CSystemInfo& info);
  ~ScopedSystemInfo();
  ScopedSystemInfo(const ScopedSystemInfo&) = delete;
  ScopedSystemInfo& operator=(const ScopedSystemInfo&) = delete;

 private:
  CSystemInfo info_;
  const CSystemInfo* previous_;
};

}  // namespace orvex
