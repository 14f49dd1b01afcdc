// The built-in machine: a typical 64-bit Windows 10 desktop with an Intel processor whose VT-x
// is on, one NVIDIA adapter, .NET Framework 4.8 and no Orvex installed. The console installer
// runs on it when ORVEX_SIM_MACHINE names no profile.
#include <cstdio>
#include <cstdlib>

#include "base/json_text.h"
#include "platform/sim/machine.h"

namespace orvex {
namespace sim {
namespace {

// CPUID: leaf 0 spells GenuineIntel in EBX, EDX, ECX; leaf 1 ECX bit 5 is VMX.
const char kDefaultProfile[] = R"json({
  "name": "Built-in: 64-bit Windows 10 Pro, Intel Core i7-8700 with VT-x, NVIDIA GeForce GTX 960",
  "osBits": 64,
  "wmi": {
    "ROOT\\CIMV2": {
      "Win32_OperatingSystem": [{
        "Caption": "Microsoft Windows 10 Pro", "OSArchitecture": "64-bit", "Version": "10.0.19045",
        "BuildNumber": "19045", "SystemDrive": "C:", "WindowsDirectory": "C:\\Windows",
        "CSName": "DESKTOP-ORVEX", "OSLanguage": 1033, "ServicePackMajorVersion": {"type": 18, "value": 0}}],
      "Win32_Processor": [{
        "Name": "Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz", "Manufacturer": "GenuineIntel",
        "VirtualizationFirmwareEnabled": true, "VMMonitorModeExtensions": true,
        "NumberOfCores": 6, "NumberOfLogicalProcessors": 12, "ProcessorId": "BFEBFBFF000906EA",
        "Architecture": {"type": 18, "value": 9}}],
      "Win32_ComputerSystem": [{
        "Name": "DESKTOP-ORVEX", "Manufacturer": "Micro-Star International Co., Ltd.", "Model": "MS-7B17",
        "UserName": "DESKTOP-ORVEX\\john", "HypervisorPresent": false, "SystemType": "x64-based PC",
        "TotalPhysicalMemory": "17113022464", "NumberOfLogicalProcessors": 12}],
      "Win32_Networkadapter": [
        {"Name": "Intel(R) Ethernet Connection (2) I219-V", "MACAddress": "30:9C:23:1A:2B:3C",
         "PNPDeviceID": "PCI\\VEN_8086&DEV_15B8&SUBSYS_7B171462&REV_00\\3&11583659&0&FE", "PhysicalAdapter": true},
        {"Name": "Microsoft Kernel Debug Network Adapter", "MACAddress": null,
         "PNPDeviceID": "ROOT\\KDNIC\\0000", "PhysicalAdapter": false},
        {"Name": "Bluetooth Device (Personal Area Network)", "MACAddress": "5C:F3:70:8A:9B:0C",
         "PNPDeviceID": "BTH\\MS_BTHPAN\\7&2A0B5E4C&0&2", "PhysicalAdapter": true},
        {"Name": "WAN Miniport (IP)", "MACAddress": "4E:A1:20:52:41:53",
         "PNPDeviceID": "SWD\\MSRRAS\\MS_NDISWANIP", "PhysicalAdapter": false}],
      "Win32_LogicalDisk": [
        {"DeviceID": "C:", "DriveType": 3, "FileSystem": "NTFS", "VolumeName": "", "VolumeSerialNumber": "5A3C1E7B",
         "Size": "499512242176", "FreeSpace": "287309570048"}],
      "Win32_DiskPartition": [
        {"DeviceID": "Disk #0, Partition #0", "Index": 0, "DiskIndex": 0, "Type": "GPT: System", "BootPartition": true},
        {"DeviceID": "Disk #0, Partition #1", "Index": 1, "DiskIndex": 0, "Type": "GPT: Basic Data", "BootPartition": false}],
      "Win32_DiskDrive": [
        {"DeviceID": "\\\\.\\PHYSICALDRIVE0", "Model": "Samsung SSD 860 EVO 500GB", "InterfaceType": "IDE",
         "SerialNumber": "S3Z2NB0K412345A", "Index": 0, "MediaType": "Fixed hard disk media"}],
      "Win32_Bios": [
        {"Manufacturer": "American Megatrends Inc.", "SMBIOSBIOSVersion": "1.A0", "SerialNumber": "To be filled by O.E.M.",
         "ReleaseDate": "20200417000000.000000+000"}],
      "Win32_VideoController": [
        {"Name": "NVIDIA GeForce GTX 960", "Caption": "NVIDIA GeForce GTX 960", "VideoProcessor": "GeForce GTX 960",
         "DriverVersion": "27.21.14.5671", "AdapterCompatibility": "NVIDIA",
         "PNPDeviceID": "PCI\\VEN_10DE&DEV_1401&SUBSYS_31701462&REV_A1\\4&2B8A6C1F&0&0008",
         "CurrentHorizontalResolution": 1920, "CurrentVerticalResolution": 1080},
        {"Name": "Microsoft Remote Display Adapter", "Caption": "Microsoft Remote Display Adapter", "VideoProcessor": null,
         "DriverVersion": "10.0.19041.1", "AdapterCompatibility": "Microsoft",
         "PNPDeviceID": "SWD\\REMOTEDISPLAYENUM\\RDPIDD_INDIRECTDISPLAY&SESSIONID_0001"}],
      "Win32_UserProfile": [
        {"SID": "S-1-5-18", "LocalPath": "C:\\Windows\\system32\\config\\systemprofile", "Special": true},
        {"SID": "S-1-5-21-1004336348-1177238915-682003330-1001", "LocalPath": "C:\\Users\\john", "Special": false}],
      "Win32_Product": []
    },
    "root\\SecurityCenter2": {
      "AntivirusProduct": [{"displayName": "Windows Defender", "productState": 397568,
                            "pathToSignedProductExe": "windowsdefender://"}],
      "AntiSpywareProduct": [{"displayName": "Windows Defender", "productState": 397568}],
      "FirewallProduct": []
    }
  },
  "wmiAssociations": {
    "ROOT\\CIMV2": [
      {"object": "Win32_LogicalDisk.DeviceID='C:'", "assocClass": "Win32_LogicalDiskToPartition",
       "resultClass": "Win32_DiskPartition", "rows": [{"DeviceID": "Disk #0, Partition #1", "Index": 1, "DiskIndex": 0}]},
      {"object": "Win32_DiskPartition.DeviceID='Disk #0, Partition #1'", "assocClass": "Win32_DiskDriveToDiskPartition",
       "resultClass": "Win32_DiskDrive", "rows": [{"DeviceID": "\\\\.\\PHYSICALDRIVE0", "SerialNumber": "S3Z2NB0K412345A"}]},
      {"object": "Win32_DiskPartition.DeviceID='Disk #0, Partition #1'", "assocClass": "Win32_LogicalDiskToPartition",
       "resultClass": "Win32_LogicalDisk", "rows": [{"DeviceID": "C:"}]}
    ]
  },
  "registry": {
    "SOFTWARE\\Microsoft\\Cryptography": {"MachineGuid": "8c2f4a3e-91d7-4b6a-a5e2-3f0c7d9b1e64"},
    "SOFTWARE\\WOW6432Node\\Microsoft\\Cryptography": {},
    "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion": {
      "ProductName": "Windows 10 Pro", "CurrentBuild": "19045", "CurrentBuildNumber": "19045",
      "DisplayVersion": "22H2", "ReleaseId": "2009", "CurrentMajorVersionNumber": {"dword": 10},
      "CurrentMinorVersionNumber": {"dword": 0}, "EditionID": "Professional"},
    "SOFTWARE\\WOW6432Node\\Microsoft\\Windows NT\\CurrentVersion": {
      "ProductName": "Windows 10 Pro", "CurrentBuild": "19045", "CurrentBuildNumber": "19045",
      "DisplayVersion": "22H2", "ReleaseId": "2009", "CurrentMajorVersionNumber": {"dword": 10},
      "CurrentMinorVersionNumber": {"dword": 0}, "EditionID": "Professional"},
    "SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\CDF\\v4.0": {"": "deprecated"},
    "SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v2.0.50727": {
      "Install": {"dword": 1}, "Version": "2.0.50727.4927", "SP": {"dword": 2}},
    "SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v3.0": {
      "Install": {"dword": 1}, "Version": "3.0.30729.4926", "SP": {"dword": 2}},
    "SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v3.5": {
      "Install": {"dword": 1}, "Version": "3.5.30729.4926", "SP": {"dword": 1}},
    "SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4\\Client": {
      "Install": {"dword": 1}, "Version": "4.8.04084", "Release": {"dword": 528372}, "TargetVersion": "4.0.0"},
    "SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full": {
      "Install": {"dword": 1}, "Version": "4.8.04084", "Release": {"dword": 528372}, "TargetVersion": "4.0.0"},
    "SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4.0\\Client": {"Install": {"dword": 1}, "Version": "4.0.0.0"},
    "SOFTWARE\\WOW6432Node\\Microsoft\\NET Framework Setup\\NDP\\CDF\\v4.0": {"": "deprecated"},
    "SOFTWARE\\WOW6432Node\\Microsoft\\NET Framework Setup\\NDP\\v2.0.50727": {
      "Install": {"dword": 1}, "Version": "2.0.50727.4927", "SP": {"dword": 2}},
    "SOFTWARE\\WOW6432Node\\Microsoft\\NET Framework Setup\\NDP\\v3.0": {
      "Install": {"dword": 1}, "Version": "3.0.30729.4926", "SP": {"dword": 2}},
    "SOFTWARE\\WOW6432Node\\Microsoft\\NET Framework Setup\\NDP\\v3.5": {
      "Install": {"dword": 1}, "Version": "3.5.30729.4926", "SP": {"dword": 1}},
    "SOFTWARE\\WOW6432Node\\Microsoft\\NET Framework Setup\\NDP\\v4\\Client": {
      "Install": {"dword": 1}, "Version": "4.8.04084", "Release": {"dword": 528372}, "TargetVersion": "4.0.0"},
    "SOFTWARE\\WOW6432Node\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full": {
      "Install": {"dword": 1}, "Version": "4.8.04084", "Release": {"dword": 528372}, "TargetVersion": "4.0.0"},
    "SOFTWARE\\WOW6432Node\\Microsoft\\NET Framework Setup\\NDP\\v4.0\\Client": {"Install": {"dword": 1}, "Version": "4.0.0.0"},
    "SYSTEM\\CurrentControlSet\\Control\\Session Manager\\Environment": {
      "NUMBER_OF_PROCESSORS": "12", "OS": "Windows_NT", "PROCESSOR_ARCHITECTURE": "AMD64"}
  },
  "msiProducts": [],
  "cpuid": {
    "0x0": {"eax": 22, "ebx": 1970169159, "ecx": 1818588270, "edx": 1231384169},
    "0x1": {"eax": 591594, "ebx": 1050624, "ecx": 2147154879, "edx": 3219913727},
    "0x80000000": {"eax": 2147483656, "ebx": 0, "ecx": 0, "edx": 0},
    "0x80000001": {"eax": 0, "ebx": 0, "ecx": 289, "edx": 739248128}
  },
  "processorFeatures": [6, 10, 12, 13, 17, 20, 21],
  "memoryKb": 16777216,
  "screen": {"width": 1920, "height": 1080},
  "opengl": {"version": "4.6.0 NVIDIA 457.30", "vendor": "NVIDIA Corporation"},
  "environment": {
    "SystemDrive": "C:", "SystemRoot": "C:\\Windows", "windir": "C:\\Windows",
    "NUMBER_OF_PROCESSORS": "12", "PROCESSOR_ARCHITECTURE": "x86", "PROCESSOR_ARCHITEW6432": "AMD64",
    "OS": "Windows_NT", "COMPUTERNAME": "DESKTOP-ORVEX", "USERDOMAIN": "DESKTOP-ORVEX",
    "USERNAME": "john", "USERPROFILE": "C:\\Users\\john", "HOMEDRIVE": "C:", "HOMEPATH": "\\Users\\john",
    "APPDATA": "C:\\Users\\john\\AppData\\Roaming", "LOCALAPPDATA": "C:\\Users\\john\\AppData\\Local",
    "TEMP": "C:\\Users\\john\\AppData\\Local\\Temp", "TMP": "C:\\Users\\john\\AppData\\Local\\Temp",
    "ProgramData": "C:\\ProgramData", "ProgramFiles": "C:\\Program Files (x86)",
    "ProgramFiles(x86)": "C:\\Program Files (x86)", "ProgramW6432": "C:\\Program Files",
    "CommonProgramFiles": "C:\\Program Files (x86)\\Common Files", "PUBLIC": "C:\\Users\\Public"
  },
  "accounts": {"john": "S-1-5-21-1004336348-1177238915-682003330-1001"},
  "accessLists": {
    "C:\\Users\\john\\AppData\\Local\\Temp\\": [
      {"type": 0, "mask": 2032127, "sid": "S-1-5-18"},
      {"type": 0, "mask": 2032127, "sid": "S-1-5-32-544"},
      {"type": 0, "mask": 2032127, "sid": "S-1-5-21-1004336348-1177238915-682003330-1001"}]
  },
  "restartAccepted": true,
  "files": {
    "C:\\Windows\\System32\\drivers\\etc\\hosts": "# Copyright (c) 1993-2009 Microsoft Corp.\r\n127.0.0.1 localhost\r\n"
  }
})json";

}  // namespace

const Json::Value& DefaultProfile() {
  static const Json::Value* profile = [] {
    auto* parsed = new Json::Value;
    std::string error;
    if (!ParseJson(kDefaultProfile, *parsed, &error)) {
      // Only an edit of the text above can get here; fail at once rather than simulate nothing.
      std::fprintf(stderr, "simulated machine: the built-in profile does not parse: %s\n",
                   error.c_str());
      std::abort();
    }
    return parsed;
  }();
  return *profile;
}

}  // namespace sim
}  // namespace orvex
