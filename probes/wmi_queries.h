#pragma once
// The WQL conditions and object paths the probes send. WMI matches them as written: the two
// blanks after LIKE are part of the texts.

#include <string>

namespace orvex {

constexpr const char* kCimNamespace = "ROOT\\CIMV2";
constexpr const char* kSecurityCenterNamespace = "root\\SecurityCenter2";

// PCI video controllers (Win32_VideoController).
constexpr const char* kPciVideoControllerCondition = "PNPDeviceID LIKE  \"%PCI%\"";

// PCI and SD network adapters (Win32_Networkadapter).
constexpr const char* kNetworkAdapterCondition =
    "PNPDeviceID LIKE  \"%PCI%\" or PNPDeviceID LIKE  \"%SD%\"";

// The object path of the logical disk of a drive such as C:.
inline std::string LogicalDiskPath(const std::string& drive) {
  return "Win32_LogicalDisk.DeviceID='" + drive + "'";
}

// The object path of a partition such as "Disk #0, Partition #1".
inline std::string DiskPartitionPath(const std::string& partition) {
  return "Win32_DiskPartition.DeviceID='" + partition + "'";
}

// The condition that finds a disk drive such as \\.\PHYSICALDRIVE0: WQL wants every backslash
// of the quoted id doubled.
std::string DiskDriveCondition(const std::string& driveId);

// The condition that finds a user profile by its SID: SID="S-1-5-...".
std::wstring UserProfileCondition(const std::wstring& sid);

}  // namespace orvex
