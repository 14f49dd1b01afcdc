// orvex-sysinfo on the simulated machine: a profile it records, replayed, gives the same
// system information record, the same information-module output and the same report as the
// machine it was recorded from, and recording the replay gives the same profile again.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/json_text.h"

namespace orvex {
namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The tool sits beside the console installer in the build folder.
std::string SysinfoPath() {
  return (fs::path(ORVEX_INSTALLER_PATH).parent_path() / "orvex-sysinfo").string();
}

// A machine with what is easy to lose on the way: texts outside ASCII, WMI values of other
// VARIANT types, two adapters (one without a PCI vendor), three security products, a 64-bit
// registry with its 32-bit view, REG_MULTI_SZ/QWORD/BINARY values, an installed product with
// its upgrade code, no OpenGL vendor.
const char kAwkwardMachine[] = R"json({
  "name": "awkward",
  "osBits": 64,
  "wmi": {
    "ROOT\\CIMV2": {
      "Win32_OperatingSystem": [{"Caption": "Microsoft Windows 10 Famille", "OSArchitecture": "64 bits",
                                 "Version": "10.0.19045", "SystemDrive": "C:"}],
      "Win32_Processor": [{"Name": "AMD Ryzen 5 3600 6-Core Processor", "Manufacturer": "AuthenticAMD",
                           "VirtualizationFirmwareEnabled": false, "NumberOfCores": {"type": 19, "value": 6}}],
      "Win32_ComputerSystem": [{"Manufacturer": "Soci\u00e9t\u00e9 G\u00e9n\u00e9rale", "Model": "Tour 5",
                                "UserName": "BUREAU\\Ren\u00e9", "HypervisorPresent": true}],
      "Win32_Networkadapter": [{"PNPDeviceID": "PCI\\VEN_8086&DEV_15B8&SUBSYS_00008086", "MACAddress": "00:1A:2B:3C:4D:5E"},
                               {"PNPDeviceID": "PCI\\VEN_8086&DEV_24FD", "MACAddress": null},
                               {"PNPDeviceID": "ROOT\\NET\\0000", "MACAddress": "02:00:4C:4F:4F:50"}],
      "Win32_DiskDrive": [{"DeviceID": "\\\\.\\PHYSICALDRIVE0", "SerialNumber": "2020202057442d574d415a41"}],
      "Win32_Bios": [{"SerialNumber": "To be filled by O.E.M."}],
      "Win32_VideoController": [
        {"PNPDeviceID": "PCI\\VEN_1002&DEV_731F&SUBSYS_E4111DA2", "Caption": "AMD Radeon RX 5700",
         "VideoProcessor": "AMD Radeon Graphics Processor (0x731F)", "DriverVersion": "27.20.21003.8013"},
        {"PNPDeviceID": "PCI\\VEN_1234", "Caption": "Basic Display", "VideoProcessor": null,
         "DriverVersion": {"type": 19, "value": 7}}],
      "Win32_UserProfile": [{"SID": "S-1-5-21-1-2-3-1001", "LocalPath": "C:\\Users\\Ren\u00e9"}],
      "Win32_Product": [{"Name": "Orvex", "Version": "2.0.5.7010"}]
    },
    "root\\SecurityCenter2": {
      "AntivirusProduct": [{"displayName": "Windows Defender"}, {"displayName": "Avast Antivirus"}],
      "AntiSpywareProduct": [{"displayName": "Malwarebytes"}, {"displayName": "Windows Defender"}]
    }
  },
  "wmiAssociations": {
    "ROOT\\CIMV2": [
      {"object": "Win32_LogicalDisk.DeviceID='C:'", "assocClass": "Win32_LogicalDiskToPartition",
       "rows": [{"DeviceID": "Disk #0, Partition #1"}]},
      {"object": "Win32_DiskPartition.DeviceID='Disk #0, Partition #1'",
       "assocClass": "Win32_DiskDriveToDiskPartition", "rows": [{"DeviceID": "\\\\.\\PHYSICALDRIVE0"}]}
    ]
  },
  "registry": {
    "SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v4\\Full": {"Install": {"dword": 1}, "Version": "4.8.09032",
                                                                 "Release": {"dword": 528372}},
    "SOFTWARE\\Microsoft\\NET Framework Setup\\NDP\\v3.5": {"Install": {"binary": "01000000"},
                                                            "SP": {"qword": 1}},
    "SOFTWARE\\WOW6432Node\\Microsoft\\NET Framework Setup\\NDP\\v4\\Client": {"Install": {"dword": 1},
                                                                              "Version": {"multi_sz": ["4.8", "x"]}},
    "SOFTWARE\\WOW6432Node\\Microsoft\\NET Framework Setup\\NDP\\v4.0": {"Install": {"expand_sz": "%X%"}},
    "SOFTWARE\\Quarn\\Orvex": {"InstallDir": "C:\\Program Files\\Orvex", "UserDataDir": "C:\\ProgramData\\Orvex"},
    "SOFTWARE\\Microsoft\\Cryptography": {"MachineGuid": "3f2c9a1e-7b4d-4c2a-9e8f-0a1b2c3d4e5f"}
  },
  "msiProducts": [
    {"productCode": "{6B1E3F0A-2C4D-4E5F-8A9B-0C1D2E3F4A5B}", "upgradeCode": "{D3A1C2B4-5E6F-4789-9ABC-DEF012345678}",
     "properties": {"InstalledProductName": "Orvex", "Publisher": "Quarn", "VersionString": "2.0.5.7010",
                    "VersionMajor": "2", "VersionMinor": "0"}},
    {"productCode": "{11111111-2222-3333-4444-555555555555}",
     "properties": {"InstalledProductName": "Autre chose \u00e0 c\u00f4t\u00e9", "VersionString": "1"}}
  ],
  "cpuid": {"0x0": {"eax": 16, "ebx": 1752462657, "ecx": 1145913699, "edx": 1769238117},
            "0x1": {"eax": 8851216, "ebx": 0, "ecx": 4277665795, "edx": 395049983},
            "0x80000000": {"eax": 2147483679},
            "0x80000001": {"ecx": 1975519231, "edx": 800062463}},
  "processorFeatures": [21],
  "memoryKb": 33554432,
  "screen": {"width": 2560, "height": 1440},
  "opengl": {"version": "4.6.14761 Compatibility Profile Context 21.3.1 27.20.21003.8013"},
  "environment": {"SystemDrive": "C:", "SystemRoot": "C:\\Windows", "NUMBER_OF_PROCESSORS": "12",
                  "USERPROFILE": "C:\\Users\\Ren\u00e9", "USERNAME": "Ren\u00e9",
                  "TEMP": "C:\\Users\\Ren\u00e9\\AppData\\Local\\Temp", "ORVEX_ORVEXVM_USER_HOME": "D:\\VM"},
  "accounts": {"Ren\u00e9": "S-1-5-21-1-2-3-1001"},
  "accessLists": {"C:\\Users\\Ren\u00e9\\AppData\\Local\\Temp\\": [
    {"type": 0, "mask": 2032127, "sid": "S-1-5-18"}, {"type": 1, "mask": 32, "sid": "S-1-5-18"}]}
})json";

class SysinfoRoundTrip : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/orvex-sysinfo-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs orvex-sysinfo on the machine of `profile` ("" for the built-in one) with nothing of
  // this process's environment; fails the test unless it exits with 0.
  std::string Run(const std::string& profile, const std::string& arguments) {
    const fs::path out = dir_ / "out.txt";
    std::string command = "cd '" + dir_.string() +
                          "' && env -i PATH=/usr/bin:/bin ORVEX_SIM_ROOT='" +
                          (dir_ / "sandbox").string() + "'";
    if (!profile.empty()) command += " ORVEX_SIM_MACHINE='" + profile + "'";
    command += " '" + SysinfoPath() + "' " + arguments + " >'" + out.string() + "' 2>'" +
               (dir_ / "err.txt").string() + "' </dev/null";
    const int raw = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0)
        << arguments << " on " << profile << ": " << ReadFile(dir_ / "err.txt");
    return ReadFile(out);
  }

  std::string Save(const std::string& name, const std::string& text) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }

  // The whole round trip for one machine.
  void ExpectRoundTrip(const std::string& machine) {
    const std::string record = Run(machine, "--record");
    const std::string report = Run(machine, "");
    const std::string recorded = Save("recorded.json", Run(machine, "--profile"));
    Json::Value parsed;
    ASSERT_TRUE(ParseJson(ReadFile(recorded), parsed)) << ReadFile(recorded);
    Json::Value recordJson;
    ASSERT_TRUE(ParseJson(record, recordJson)) << record;
    EXPECT_EQ(record, Run(recorded, "--record"));
    EXPECT_EQ(report, Run(recorded, ""));
    EXPECT_EQ(ReadFile(recorded), Run(recorded, "--profile"));
  }

  fs::path dir_;
};

TEST_F(SysinfoRoundTrip, BuiltInMachine) { ExpectRoundTrip(""); }

TEST_F(SysinfoRoundTrip, AwkwardMachine) {
  const std::string machine = Save("awkward.json", kAwkwardMachine);
  ExpectRoundTrip(machine);
  // The facts the replay must not lose are really there: otherwise the comparison above would
  // hold for a machine that says nothing.
  Json::Value record;
  ASSERT_TRUE(ParseJson(Run(machine, "--record"), record));
  EXPECT_EQ("x64", record["systemInfo"]["osArch"].asString());
  EXPECT_EQ(2, record["systemInfo"]["gpuCount"].asInt());
  EXPECT_EQ(3u, record["systemInfo"]["securityProducts"].size());
  EXPECT_EQ("2.0.5.7010", record["modules"]["document"]["Config"]["product"]["version"].asString());
  const std::string report = Run(machine, "");
  EXPECT_NE(std::string::npos, report.find(" Orvex Version Installed         : 2.0.5.7010\n"));
  EXPECT_NE(std::string::npos, report.find(" OrvexVMHome Path                : D:\\VM\n"));
}

TEST_F(SysinfoRoundTrip, ExampleMachines) {
  const fs::path folder = fs::path(ORVEX_EXAMPLES_DIR) / "machines";
  if (!fs::is_directory(folder)) GTEST_SKIP() << "no example machines in " << folder;
  int machines = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().extension() != ".json") continue;
    SCOPED_TRACE(entry.path().filename().string());
    ExpectRoundTrip(entry.path().string());
    ++machines;
  }
  EXPECT_GT(machines, 0);
}

// The upgrade code of an installed product is found only through the upgrade codes it is
// asked about: Windows Installer answers from upgrade code to product, not the other way.
TEST_F(SysinfoRoundTrip, UpgradeCodesComeFromTheCodesAskedFor) {
  const std::string machine = Save("awkward.json", kAwkwardMachine);
  Json::Value asked;
  ASSERT_TRUE(ParseJson(
      Run(machine, "--profile --upgrade-code {D3A1C2B4-5E6F-4789-9ABC-DEF012345678}"), asked));
  EXPECT_EQ("{D3A1C2B4-5E6F-4789-9ABC-DEF012345678}",
            asked["msiProducts"][0]["upgradeCode"].asString());
  EXPECT_FALSE(asked["msiProducts"][1].isMember("upgradeCode"));
  EXPECT_EQ("Autre chose \xc3\xa0 c\xc3\xb4t\xc3\xa9",
            asked["msiProducts"][1]["properties"]["InstalledProductName"].asString());
}

}  // namespace
}  // namespace orvex
