#include "probes/system_info.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "base/text.h"
#include "platform/environment.h"
#include "platform/opengl.h"
#include "platform/processor.h"
#include "probes/disk_serial.h"
#include "probes/dotnet_probe.h"
#include "probes/graphics_probes.h"
#include "probes/installed_memory.h"
#include "probes/machine_id.h"
#include "probes/record_facts.h"
#include "probes/serial_numbers.h"
#include "probes/version_number.h"
#include "probes/wmi_connection.h"
#include "probes/wmi_queries.h"

namespace orvex {

namespace {

std::atomic<const CSystemInfo*> g_systemInfoOverride{nullptr};

void ReadOperatingSystem(CWmiConnection& wmi, CSystemInfo& info) {
  WmiRow os = wmi.QueryFirst("Win32_OperatingSystem", "");
  if (!os) return;
  info.osName = CWmiConnection::GetString(os, "Caption");
  info.osArch = ArchitectureClass(CWmiConnection::GetString(os, "OSArchitecture"));
  info.osVersion = CWmiConnection::GetString(os, "Version");
  info.systemDrive = CWmiConnection::GetString(os, "SystemDrive");
  ParseMajorMinor(info.osVersion, &info.osMajor, &info.osMinor);
}

void ReadProcessor(CWmiConnection& wmi, CSystemInfo& info) {
  WmiRow processor = wmi.QueryFirst("Win32_Processor", "");
  info.vtFirmwareEnabled = CWmiConnection::GetBool(processor, "VirtualizationFirmwareEnabled");
  info.processorName = CWmiConnection::GetString(processor, "Name");
  info.processorMfr = CWmiConnection::GetString(processor, "Manufacturer");
}

void ReadComputerSystem(CWmiConnection& wmi, CSystemInfo& info) {
  WmiRow computer = wmi.QueryFirst("Win32_ComputerSystem", "");
  info.hypervisorPresent = CWmiConnection::GetBool(computer, "HypervisorPresent");
  info.manufacturer = CWmiConnection::GetString(computer, "Manufacturer");
  info.userName = CWmiConnection::GetString(computer, "username");
  info.model = CWmiConnection::GetString(computer, "Model");
}

void ReadOpenGL(CSystemInfo& info) {
  std::string version;
  const bool haveVersion = platform::ReadOpenGLString(platform::GlString::kVersion, &version);
  const uint64_t major = haveVersion ? static_cast<uint64_t>(std::atoi(version.c_str())) : 0;
  info.openglMajorText = std::to_string(major);
  // The whole text comes from a context of its own, as the record always read it.
  if (!platform::ReadOpenGLString(platform::GlString::kVersion, &info.openglVersion))
    info.openglVersion.clear();
  ParseMajorMinor(info.openglVersion, &info.openglMajor, &info.openglMinor);
  if (!platform::ReadOpenGLString(platform::GlString::kVendor, &info.openglVendor))
    info.openglVendor.clear();
}

std::vector<std::string> ReadMacAddresses() {
  CWmiConnection wmi;
  wmi.Connect(ToWide(kCimNamespace));
  std::vector<std::string> addresses;
  for (const WmiRow& row : wmi.QueryAll("Win32_Networkadapter", kNetworkAdapterCondition)) {
    std::string address = CWmiConnection::GetString(row, "MACAddress");
    EraseAll(address, ":");
    if (!address.empty()) addresses.push_back(address);
  }
  return addresses;
}

std::string ReadHostId() {
  char buffer[76] = {};
  ReadMachineIdentifier(buffer);
  const std::string id = buffer;
  return id == "invalid" ? std::string() : id;
}

std::string ReadBiosSerial(const std::string& diskSerial) {
  CWmiConnection wmi;
  wmi.Connect(ToWide(kCimNamespace));
  return CleanBiosSerial(wmi.GetValue("Win32_Bios", "SerialNumber", ""), diskSerial);
}

std::vector<std::string> ReadSecurityProducts() {
  CWmiConnection wmi;
  wmi.Connect(ToWide(kSecurityCenterNamespace));
  std::vector<std::string> names;
  for (const char* className : {"AntivirusProduct", "AntiSpywareProduct"})
    for (const WmiRow& row : wmi.QueryAll(className, ""))
      names.push_back(CWmiConnection::GetString(row, "displayName"));
  return SortedWithoutDuplicates(std::move(names));
}

}  // namespace

CSystemInfo BuildSystemInfo() {
  CSystemInfo info;
  CWmiConnection wmi;
  wmi.Connect(ToWide(kCimNamespace));
  ReadOperatingSystem(wmi, info);
  ReadProcessor(wmi, info);
  ReadComputerSystem(wmi, info);
  ReadOpenGL(info);
  info.processorCount = ProcessorCountFrom(platform::EnvironmentVariable("NUMBER_OF_PROCESSORS"));
  info.ramMb = std::to_string(InstalledMemoryMb());
  info.macAddresses = ReadMacAddresses();
  info.diskSerial = ReadDiskSerial(info.systemDrive);
  info.hostId = ReadHostId();
  info.biosSerial = ReadBiosSerial(info.diskSerial);
  info.securityProducts = ReadSecurityProducts();
  if (info.diskSerial.empty()) info.diskSerial = info.biosSerial;
  info.dotnetVersion = ReadDotNetVersion();
  ParseMajorMinor(info.dotnetVersion, &info.dotnetMajor, &info.dotnetMinor);
  info.gpus = ProbeVideoControllers();
  info.gpuCount = static_cast<int>(info.gpus.size());
  info.singleGpu = info.gpuCount <= 1;
  info.screenSize =
      std::to_string(platform::ScreenWidth()) + "x" + std::to_string(platform::ScreenHeight());
  wmi.Close();
  return info;
}

const CSystemInfo& GetSystemInfo() {
  if (const CSystemInfo* replaced = g_systemInfoOverride.load()) return *replaced;
  // Built on the first call only; a function-local static is initialised exactly once even
  // when two threads ask at the same time.
  static const CSystemInfo info = BuildSystemInfo();
  return info;
}

ScopedSystemInfo::ScopedSystemInfo(const CSystemInfo& info)
    : info_(info), previous_(g_systemInfoOverride.exchange(&info_)) {}

ScopedSystemInfo::~ScopedSystemInfo() { g_systemInfoOverride.store(previous_); }

}  // namespace orvex
