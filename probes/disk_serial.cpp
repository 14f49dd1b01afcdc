#include "probes/disk_serial.h"

#include "base/text.h"
#include "probes/serial_numbers.h"
#include "probes/wmi_connection.h"
#include "probes/wmi_queries.h"

namespace orvex {

std::string ReadDiskSerial(const std::string& systemDrive) {
  CWmiConnection wmi;
  wmi.Connect(ToWide(kCimNamespace));
  std::string link = systemDrive;
  if (!link.empty())  // the partition, e.g. Disk #0, Partition #1
    link =
        wmi.GetAssociatedValue(LogicalDiskPath(link), "Win32_LogicalDiskToPartition", "DeviceID");
  if (!link.empty())  // the drive, e.g. \\.\PHYSICALDRIVE0
    link = wmi.GetAssociatedValue(DiskPartitionPath(link), "Win32_DiskDriveToDiskPartition",
                                  "DeviceID");
  if (!link.empty())
    link = wmi.GetValue("Win32_DiskDrive", "SerialNumber", DiskDriveCondition(link));
  wmi.Close();
  return CleanDiskSerial(link);
}

}  // namespace orvex
