// The system information record built on simulated machines: every field, the disk-serial
// chain with its fallbacks, .NET key selection, and what an empty machine leaves.

#include "probes/system_info.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/sim/machine.h"
#include "tests/support/probes_machines.h"

namespace orvex {
namespace {

using test::J;
using test::ProbeLaptopProfile;

CSystemInfo BuildOn(const Json::Value& profile) {
  sim::ScopedMachine machine(profile);
  return BuildSystemInfo();
}

Json::Value& CimClass(Json::Value& profile, const char* className) {
  return profile["wmi"]["ROOT\\CIMV2"][className];
}

TEST(ProbesSystemInfo, LaptopRecord) {
  const CSystemInfo info = BuildOn(ProbeLaptopProfile());
  EXPECT_EQ("Microsoft Windows 10 Pro", info.osName);
  EXPECT_EQ("x64", info.osArch);
  EXPECT_EQ("10.0.19045", info.osVersion);
  EXPECT_EQ(10, info.osMajor);
  EXPECT_EQ(0, info.osMinor);
  EXPECT_EQ("C:", info.systemDrive);
  // The first processor WMI returns.
  EXPECT_EQ("Intel(R) Core(TM) i7-8550U CPU @ 1.80GHz", info.processorName);
  EXPECT_EQ("GenuineIntel", info.processorMfr);
  EXPECT_TRUE(info.vtFirmwareEnabled);
  EXPECT_EQ(8, info.processorCount);
  EXPECT_EQ("LENOVO", info.manufacturer);
  EXPECT_EQ("20L5", info.model);
  EXPECT_EQ("LAPTOP\\john", info.userName);
  EXPECT_FALSE(info.hypervisorPresent);
  EXPECT_EQ("4", info.openglMajorText);
  EXPECT_EQ("4.6.0 NVIDIA 456.71", info.openglVersion);
  EXPECT_EQ(4, info.openglMajor);
  EXPECT_EQ(6, info.openglMinor);
  EXPECT_EQ("NVIDIA Corporation", info.openglVendor);
  EXPECT_EQ("16384", info.ramMb);
  EXPECT_EQ("1920x1080", info.screenSize);
  EXPECT_EQ("4.0", info.dotnetVersion);
  EXPECT_EQ(4, info.dotnetMajor);
  EXPECT_EQ(0, info.dotnetMinor);
  EXPECT_EQ("WD-WMAZA0454107", info.diskSerial);
  EXPECT_EQ("1f2e3d4c-5b6a-4789-8abc-def012345678", info.hostId);
  EXPECT_EQ("PF0ABC12", info.biosSerial);
  EXPECT_EQ(std::vector<std::string>({"001A2B3C4D5E", "00FF00FF00FF"}), info.macAddresses);
  EXPECT_EQ(std::vector<std::string>({"Avast", "Windows Defender"}), info.securityProducts);

  // Only the PCI controllers, in WMI order.
  ASSERT_EQ(2u, info.gpus.size());
  EXPECT_EQ(2, info.gpuCount);
  EXPECT_FALSE(info.singleGpu);
  EXPECT_EQ("Intel(R) UHD Graphics Family", info.gpus[0].name);
  EXPECT_EQ("8086", info.gpus[0].vendorId);
  EXPECT_EQ("5917", info.gpus[0].deviceId);
  EXPECT_EQ("INTEL", info.gpus[0].manufacturer);
  EXPECT_EQ("INTEL", info.gpus[0].driverProvider);
  EXPECT_EQ(7262, info.gpus[0].buildNum);
  EXPECT_EQ("GeForce MX150", info.gpus[1].name);
  EXPECT_EQ("10DE", info.gpus[1].vendorId);
  EXPECT_EQ("1D10", info.gpus[1].deviceId);
  EXPECT_EQ("NVIDIA", info.gpus[1].manufacturer);
  EXPECT_EQ(8813, info.gpus[1].buildNum);
  EXPECT_TRUE(info.gpus[1].active);
}

TEST(ProbesSystemInfo, EmptyMachineLeavesFieldsEmptyWithTheFixedFallbacks) {
  const CSystemInfo info = BuildOn(J(R"({"name": "nothing"})"));
  EXPECT_EQ("", info.osName);
  EXPECT_EQ("", info.osArch);
  EXPECT_EQ("", info.osVersion);
  EXPECT_EQ(0, info.osMajor);
  EXPECT_EQ("", info.systemDrive);
  EXPECT_EQ("", info.processorMfr);
  EXPECT_EQ(0, info.processorCount);
  EXPECT_EQ("", info.diskSerial);
  EXPECT_EQ("", info.biosSerial);
  EXPECT_EQ("", info.hostId);  // "invalid" is kept out of the record
  EXPECT_EQ("3072", info.ramMb);
  EXPECT_EQ("0", info.openglMajorText);
  EXPECT_EQ("", info.openglVersion);
  EXPECT_EQ(0, info.openglMajor);
  EXPECT_EQ("", info.openglVendor);
  EXPECT_EQ("", info.dotnetVersion);
  EXPECT_EQ(0, info.dotnetMajor);
  EXPECT_TRUE(info.macAddresses.empty());
  EXPECT_TRUE(info.securityProducts.empty());
  EXPECT_TRUE(info.gpus.empty());
  EXPECT_EQ(0, info.gpuCount);
  EXPECT_TRUE(info.singleGpu);
}

TEST(ProbesSystemInfo, ArchitectureAndMemory) {
  Json::Value profile = ProbeLaptopProfile();
  CimClass(profile, "Win32_OperatingSystem")[0]["OSArchitecture"] = "32-bit";
  profile["memoryKb"] = 1023;  // less than one MB counts as unknown
  CSystemInfo info = BuildOn(profile);
  EXPECT_EQ("x86", info.osArch);
  EXPECT_EQ("3072", info.ramMb);

  profile["memoryKb"] = 4194303;
  EXPECT_EQ("4095", BuildOn(profile).ramMb);
}

TEST(ProbesSystemInfo, DiskSerialChainAndFallbacks) {
  struct Case {
    const char* what;
    const char* driveSerial;  // null: the drive row has no serial
    bool chainComplete;
    const char* bios;
    const char* diskSerial;
    const char* biosSerial;
  };
  const std::vector<Case> cases = {
      {"readable serial", "WD-WMAZA0454107", true, "PF0ABC12", "WD-WMAZA0454107", "PF0ABC12"},
      {"hexadecimal serial", "2020202057442d574d415a41", true, "X1", "WD-WMAZA", "X1"},
      {"digits are hexadecimal", "3132", true, "X1", "12", "X1"},
      {"no partition: the BIOS serial", "WD1", false, "To be filled by O.E.M.", "TobefilledbyOEM",
       "TobefilledbyOEM"},
      {"empty BIOS: the disk serial cleaned", "WD-WMAZA 0454107", true, "", "WD-WMAZA0454107",
       "WDWMAZA0454107"},
      {"both empty", "", true, " ", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Json::Value profile = ProbeLaptopProfile();
    CimClass(profile, "Win32_DiskDrive")[1]["SerialNumber"] = c.driveSerial;
    CimClass(profile, "Win32_Bios")[0]["SerialNumber"] = c.bios;
    if (!c.chainComplete) profile["wmiAssociations"]["ROOT\\CIMV2"].removeIndex(0, nullptr);
    const CSystemInfo info = BuildOn(profile);
    EXPECT_EQ(c.diskSerial, info.diskSerial);
    EXPECT_EQ(c.biosSerial, info.biosSerial);
  }
}

TEST(ProbesSystemInfo, DotNetVersionIsTheLastQualifyingKey) {
  // The 32-bit installer reads the keys of the 32-bit view.
  const char* const ndp = "SOFTWARE\\WOW6432Node\\Microsoft\\NET Framework Setup\\NDP\\";
  struct Case {
    const char* what;
    const char* keys;  // sub-keys of NDP with their values
    const char* version;
    int major, minor;
  };
  const std::vector<Case> cases = {
      {"usual key set",
       R"({"v2.0.50727": {"Install": {"dword": 1}}, "v3.0": {"Install": {"dword": 1}},
          "v3.5": {"Install": {"dword": 1}}, "v4\\Client": {"Install": {"dword": 1}},
          "v4.0\\Client": {"Install": {"dword": 1}}})",
       "4.0", 4, 0},
      {"only v4 qualifies", R"({"v3.5": {"Install": {"dword": 0}},
          "v4\\Client": {"Install": {"dword": 1}}, "v4.0": {"Other": {"dword": 1}}})",
       "4", 4, 0},
      {"Install 1 wins without looking at Client", R"({"v4": {"Install": {"dword": 1}},
          "v4\\Client": {"Install": {"dword": 0}}})",
       "4", 4, 0},
      {"Install 2 is neither", R"({"v4": {"Install": {"dword": 2}},
          "v4\\Client": {"Install": {"dword": 1}}})",
       "", 0, 0},
      {"binary Install", R"({"v3.5": {"Install": {"binary": "01000000"}}})", "3.5", 3, 5},
      {"text Install does not count", R"({"v3.5": {"Install": "1"}})", "", 0, 0},
      {"names must begin with a lower-case v", R"({"V4": {"Install": {"dword": 1}},
          "CDF": {"Install": {"dword": 1}}, "v2.0.50727": {"Install": {"dword": 1}}})",
       "2.0.50727", 2, 0},
      {"no sub-keys", R"({})", "", 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Json::Value profile = ProbeLaptopProfile();
    Json::Value registry(Json::objectValue);
    registry["SOFTWARE\\Microsoft\\Cryptography"] =
        profile["registry"]["SOFTWARE\\Microsoft\\Cryptography"];
    registry["SOFTWARE\\WOW6432Node\\Microsoft\\NET Framework Setup\\NDP"] =
        Json::Value(Json::objectValue);
    const Json::Value keys = J(c.keys);
    for (const std::string& key : keys.getMemberNames()) registry[ndp + key] = keys[key];
    profile["registry"] = registry;
    const CSystemInfo info = BuildOn(profile);
    EXPECT_EQ(c.version, info.dotnetVersion);
    EXPECT_EQ(c.major, info.dotnetMajor);
    EXPECT_EQ(c.minor, info.dotnetMinor);
  }
}

TEST(ProbesSystemInfo, MachineIdentifierComesFromTheSixtyFourBitView) {
  Json::Value profile = ProbeLaptopProfile();
  // Only the redirected 32-bit copy: not the machine's identifier.
  profile["registry"]["SOFTWARE\\WOW6432Node\\Microsoft\\Cryptography"]["MachineGuid"] = "0000-wow";
  profile["registry"]["SOFTWARE\\Microsoft\\Cryptography"]["MachineGuid"] = "";
  EXPECT_EQ("", BuildOn(profile).hostId);

  profile["registry"]["SOFTWARE\\Microsoft\\Cryptography"]["MachineGuid"] = std::string(90, 'a');
  EXPECT_EQ(std::string(75, 'a'), BuildOn(profile).hostId);
}

TEST(ProbesSystemInfo, AdaptersSingleNoneAndShortDeviceIds) {
  Json::Value profile = ProbeLaptopProfile();
  Json::Value& controllers = CimClass(profile, "Win32_VideoController");
  // The second PCI controller's id has two pieces: it must not inherit the first one's ids.
  controllers[2]["PNPDeviceID"] = "PCI\\VEN_10DE&DEV_1D10";
  CSystemInfo info = BuildOn(profile);
  ASSERT_EQ(2u, info.gpus.size());
  EXPECT_EQ("", info.gpus[1].vendorId);
  EXPECT_EQ("", info.gpus[1].deviceId);
  EXPECT_EQ("UNKNOWN", info.gpus[1].manufacturer);

  controllers.removeIndex(2, nullptr);
  info = BuildOn(profile);
  EXPECT_EQ(1, info.gpuCount);
  EXPECT_TRUE(info.singleGpu);

  controllers.removeIndex(0, nullptr);  // only the remote display adapter is left
  info = BuildOn(profile);
  EXPECT_EQ(0, info.gpuCount);
  EXPECT_TRUE(info.singleGpu);
}

TEST(ProbesSystemInfo, SecurityCenterMissingGivesNoProducts) {
  Json::Value profile = ProbeLaptopProfile();
  profile["wmi"].removeMember("root\\SecurityCenter2");
  EXPECT_TRUE(BuildOn(profile).securityProducts.empty());
}

TEST(ProbesSystemInfo, GetSystemInfoBuildsOnceAndTestsCanStandIn) {
  const CSystemInfo& first = GetSystemInfo();
  EXPECT_EQ(&first, &GetSystemInfo());
  CSystemInfo stand;
  stand.model = "stand-in";
  {
    ScopedSystemInfo scoped(stand);
    EXPECT_EQ("stand-in", GetSystemInfo().model);
  }
  EXPECT_EQ(&first, &GetSystemInfo());
}

}  // namespace
}  // namespace orvex
