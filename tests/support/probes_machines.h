#pragma once
// Machine profiles for the probe tests: a 64-bit Windows 10 laptop with an Intel processor and
// two adapters, which each test changes where its case differs. The installer is a 32-bit
// program: the .NET setup keys it reads are those of the 32-bit registry view.

#include <json/json.h>

#include "tests/support/test_support.h"

namespace orvex {
namespace test {

inline Json::Value ProbeLaptopProfile() {
  return J(R"({
    "name": "probe laptop",
    "osBits": 64,
    "wmi": {
      "ROOT\\CIMV2": {
        "Win32_OperatingSystem": [{"Caption": "Microsoft Windows 10 Pro", "OSArchitecture": "64-bit",
                                   "Version": "10.0.19045", "SystemDrive": "C:"}],
        "Win32_Processor": [{"Name": "Intel(R) Core(TM) i7-8550U CPU @ 1.80GHz",
                             "Manufacturer": "GenuineIntel", "VirtualizationFirmwareEnabled": true},
                            {"Name": "second socket", "Manufacturer": "AuthenticAMD"}],
        "Win32_ComputerSystem": [{"Manufacturer": "LENOVO", "Model": "20L5", "UserName": "LAPTOP\\john",
                                  "HypervisorPresent": false}],
        "Win32_Bios": [{"SerialNumber": "PF0ABC12"}],
        "Win32_DiskDrive": [{"DeviceID": "\\\\.\\PHYSICALDRIVE1", "SerialNumber": "other"},
                            {"DeviceID": "\\\\.\\PHYSICALDRIVE0", "SerialNumber": "  WD-WMAZA0454107"}],
        "Win32_VideoController": [
          {"VideoProcessor": "Intel(R) UHD Graphics Family", "Caption": "Intel(R) UHD Graphics 620",
           "DriverVersion": "26.20.100.7262", "PNPDeviceID": "PCI\\VEN_8086&DEV_5917&SUBSYS_225D17AA&REV_07\\3&11583659&0&10"},
          {"VideoProcessor": "", "Caption": "Remote Display Adapter", "DriverVersion": "10.0.19041.1",
           "PNPDeviceID": "SWD\\REMOTEDISPLAYENUM\\1"},
          {"VideoProcessor": "GeForce MX150", "Caption": "NVIDIA GeForce MX150",
           "DriverVersion": "23.21.13.8813", "PNPDeviceID": "PCI\\VEN_10DE&DEV_1D10&SUBSYS_225D17AA&REV_A1\\4&2B0B&0&0008"}],
        "Win32_Networkadapter": [
          {"PNPDeviceID": "PCI\\VEN_8086&DEV_24FD", "MACAddress": "00:1A:2B:3C:4D:5E"},
          {"PNPDeviceID": "ROOT\\NET\\0000", "MACAddress": "AA:AA:AA:AA:AA:AA"},
          {"PNPDeviceID": "PCI\\VEN_10EC&DEV_8168", "MACAddress": null},
          {"PNPDeviceID": "SD\\VID_02&OID_0000", "MACAddress": "00:FF:00:FF:00:FF"}],
        "Win32_UserProfile": [{"SID": "S-1-5-21-1004336348-1177238915-682003330-1001",
                               "LocalPath": "C:\\Users\\john.LAPTOP"}]
      },
      "root\\SecurityCenter2": {
        "AntivirusProduct": [{"displayName": "Windows Defender"}, {"displayName": "Avast"}],
        "AntiSpywareProduct": [{"displayName": "Windows Defender"}]
      }
    },
    "wmiAssociations": {
      "ROOT\\CIMV2": [
        {"object": "Win32_LogicalDisk.DeviceID='C:'", "assocClass": "Win32_LogicalDiskToPartition",
         "rows": [{"DeviceID": "Disk #0, Partition #1"}]},
        {"object": "Win32_DiskPartition.DeviceID='Disk #0, Partition #1'",
         "assocClass": "Win32_DiskDriveToDiskPartition",
         "rows": [{"DeviceID": "\\\\.\\PHYSICALDRIVE0"}]}
      ]
    },
    "registry": {
      "SOFTWARE\\Microsoft\\Cryptography": {"MachineGuid": "1f2e3d4c-5b6a-4789-8abc-def012345678"},
      "SOFTWARE\\WOW6432Node\\Microsoft\\NET Framework Setup\\NDP\\v2.0.50727": {"Install": {"dword": 1}},
      "SOFTWARE\\WOW6432Node\\Microsoft\\NET Framework Setup\\NDP\\v3.0": {"Install": {"dword": 1}},
      "SOFTWARE\\WOW6432Node\\Microsoft\\NET Framework Setup\\NDP\\v3.5": {"Install": {"dword": 1}},
      "SOFTWARE\\WOW6432Node\\Microsoft\\NET Framework Setup\\NDP\\v4\\Client": {"Install": {"dword": 1}},
      "SOFTWARE\\WOW6432Node\\Microsoft\\NET Framework Setup\\NDP\\v4.0\\Client": {"Install": {"dword": 1}}
    },
    "cpuid": {"0x1": {"ecx": 32}, "0x80000001": {"ecx": 0}},
    "processorFeatures": [21],
    "memoryKb": 16777216,
    "screen": {"width": 1920, "height": 1080},
    "opengl": {"version": "4.6.0 NVIDIA 456.71", "vendor": "NVIDIA Corporation"},
    "environment": {"SystemDrive": "C:", "SystemRoot": "C:\\Windows", "NUMBER_OF_PROCESSORS": "8",
                    "USERPROFILE": "C:\\Users\\john", "USERNAME": "john",
                    "TEMP": "C:\\Users\\john\\AppData\\Local\\Temp",
                    "TMP": "C:\\Users\\john\\AppData\\Local\\Temp"},
    "accounts": {"john": "S-1-5-21-1004336348-1177238915-682003330-1001"}
  })");
}

}  // namespace test
}  // namespace orvex
