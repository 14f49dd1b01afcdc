#include "probes/info_layouts.h"

#include <cstdlib>

namespace orvex {

namespace {

std::string GpuKey(std::size_t index) { return "gpu" + std::to_string(index + 1); }

std::string JoinedWithBlanks(const std::vector<std::string>& texts) {
  std::string joined;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    if (i > 0) joined += " ";
    joined += texts[i];
  }
  return joined;
}

Json::Value PlatformGpu(const GpuInfo& gpu) {
  Json::Value value(Json::objectValue);
  value["gpu"] = gpu.name;
  value["gpu_driver_version"] = gpu.driverVersion;
  value["gpu_build_num"] = gpu.buildNum;
  value["gpu_manufacturer"] = gpu.manufacturer;
  value["gpu_vendor_Id"] = gpu.vendorId;
  value["gpu_device_id"] = gpu.deviceId;
  return value;
}

Json::Value DriverGpu(const GpuInfo& gpu) {
  Json::Value value(Json::objectValue);
  value["name"] = gpu.name;
  value["version"] = gpu.driverVersion;
  value["vendorid"] = gpu.vendorId;
  value["deviceid"] = gpu.deviceId;
  value["manufacturer"] = gpu.manufacturer;
  value["build_num"] = gpu.buildNum;
  value["driver_provider"] = gpu.driverProvider;
  return value;
}

// The integer after the last '.' and the one between the last two; a text without '.' gives
// its leading integer for both.
void SplitVersionString(const std::string& version, int* subMinor, int* build) {
  const std::size_t last = version.rfind('.');
  if (last == std::string::npos) {
    *subMinor = *build = std::atoi(version.c_str());
    return;
  }
  *build = std::atoi(version.c_str() + last + 1);
  const std::size_t previous = last == 0 ? std::string::npos : version.rfind('.', last - 1);
  *subMinor = std::atoi(version.c_str() + (previous == std::string::npos ? 0 : previous + 1));
}

}  // namespace

Json::Value DotNetLayout(const CSystemInfo& info) {
  Json::Value value(Json::objectValue);
  value["version"] = info.dotnetVersion;
  value["major"] = info.dotnetMajor;
  value["minor"] = info.dotnetMinor;
  return value;
}

Json::Value OsVersionLayout(const CSystemInfo& info) {
  Json::Value value(Json::objectValue);
  value["version"] = info.osVersion;
  value["major"] = info.osMajor;
  value["minor"] = info.osMinor;
  value["name"] = info.osName;
  return value;
}

Json::Value PlatformLayout(const CSystemInfo& info) {
  Json::Value value(Json::objectValue);
  for (std::size_t i = 0; i < info.gpus.size(); ++i) value[GpuKey(i)] = PlatformGpu(info.gpus[i]);
  value["release"] = "rc";
  value["mac"] = JoinedWithBlanks(info.macAddresses);
  value["disksn"] = info.diskSerial;
  value["disksn_2"] = info.hostId;
  value["biossn"] = info.biosSerial;
  value["os"] = info.osName;
  value["os_arch"] = info.osArch;
  value["os_version"] = info.osVersion;
  value["processor"] = info.processorName;
  value["processor_mfr"] = info.processorMfr;
  value["opengl_version"] = info.openglMajorText;
  value["manufacturer"] = info.manufacturer;
  value["model"] = info.model;
  value["ram"] = info.ramMb;
  value["dotnet_version"] = info.dotnetVersion;
  return value;
}

Json::Value OpenGlLayout(const CSystemInfo& info) {
  Json::Value value(Json::objectValue);
  value["version"] = info.openglVersion;
  value["major"] = info.openglMajor;
  value["minor"] = info.openglMinor;
  return value;
}

Json::Value GpuLayout(const CSystemInfo& info) {
  Json::Value value(Json::objectValue);
  for (std::size_t i = 0; i < info.gpus.size(); ++i) value[GpuKey(i)] = DriverGpu(info.gpus[i]);
  value["is_single"] = info.singleGpu;
  return value;
}

Json::Value VtLayout(const VtStatus& status) {
  Json::Value value(Json::objectValue);
  value["supported"] = status.supported;
  value["enabled"] = status.enabled;
  return value;
}

Json::Value ProductLayout(const ProductProperties& product) {
  Json::Value value(Json::objectValue);
  value["name"] = product.name;
  value["manufacturer"] = product.publisher;
  value["major_version"] = std::atoi(product.versionMajor.c_str());
  value["minor_version"] = std::atoi(product.versionMinor.c_str());
  value["version"] = product.versionString;
  int subMinor = 0, build = 0;
  SplitVersionString(product.versionString, &subMinor, &build);
  value["sub_minor_version"] = subMinor;
  value["build"] = build;
  return value;
}

}  // namespace orvex
