// What the information modules write (the layouts that snippets, rules and prompts read by
// name), the register driver's request and the SYSTEM-account decision on an access list.

#include "probes/info_layouts.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "probes/msr_driver.h"
#include "probes/msr_request.h"
#include "probes/rights_checkers.h"
#include "probes/system_access.h"
#include "tests/support/gpu_fixture.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

using test::Compact;
using test::J;
using test::MakeGpu;

CSystemInfo Laptop() {
  CSystemInfo info;
  info.diskSerial = "WD-WMAZA0454107";
  info.hostId = "1f2e3d4c-5b6a-4789-8abc-def012345678";
  info.biosSerial = "PF0ABC12";
  info.osName = "Microsoft Windows 10 Pro";
  info.osArch = "x64";
  info.osVersion = "10.0.19045";
  info.osMajor = 10;
  info.processorName = "Intel(R) Core(TM) i7-8550U CPU @ 1.80GHz";
  info.processorMfr = "GenuineIntel";
  info.manufacturer = "LENOVO";
  info.model = "20L5";
  info.openglMajorText = "4";
  info.openglVersion = "4.6.0 NVIDIA 456.71";
  info.openglMajor = 4;
  info.openglMinor = 6;
  info.ramMb = "16384";
  info.dotnetVersion = "4.0";
  info.dotnetMajor = 4;
  info.macAddresses = {"001A2B3C4D5E", "00FF00FF00FF"};
  info.gpus = {MakeGpu("Intel(R) UHD Graphics 620", "26.20.100.7262", "8086", "5917", 7262, "INTEL",
                       "INTEL"),
               MakeGpu("GeForce MX150", "23.21.13.8813", "10DE", "1D10", 8813, "NVIDIA", "NVIDIA")};
  info.gpuCount = 2;
  info.singleGpu = false;
  return info;
}

TEST(ProbesLayouts, PlatformOfALaptopWithTwoAdapters) {
  EXPECT_EQ(Compact(J(R"({
      "gpu1": {"gpu": "Intel(R) UHD Graphics 620", "gpu_driver_version": "26.20.100.7262",
               "gpu_build_num": 7262, "gpu_manufacturer": "INTEL", "gpu_vendor_Id": "8086",
               "gpu_device_id": "5917"},
      "gpu2": {"gpu": "GeForce MX150", "gpu_driver_version": "23.21.13.8813",
               "gpu_build_num": 8813, "gpu_manufacturer": "NVIDIA", "gpu_vendor_Id": "10DE",
               "gpu_device_id": "1D10"},
      "release": "rc", "mac": "001A2B3C4D5E 00FF00FF00FF", "disksn": "WD-WMAZA0454107",
      "disksn_2": "1f2e3d4c-5b6a-4789-8abc-def012345678", "biossn": "PF0ABC12",
      "os": "Microsoft Windows 10 Pro", "os_arch": "x64", "os_version": "10.0.19045",
      "processor": "Intel(R) Core(TM) i7-8550U CPU @ 1.80GHz", "processor_mfr": "GenuineIntel",
      "opengl_version": "4", "manufacturer": "LENOVO", "model": "20L5", "ram": "16384",
      "dotnet_version": "4.0"})")),
            Compact(PlatformLayout(Laptop())));
}

TEST(ProbesLayouts, PlatformWithoutAdaptersOrMacAddresses) {
  CSystemInfo info;
  info.singleGpu = true;
  EXPECT_EQ(Compact(J(R"({"release": "rc", "mac": "", "disksn": "", "disksn_2": "",
      "biossn": "", "os": "", "os_arch": "", "os_version": "", "processor": "",
      "processor_mfr": "", "opengl_version": "", "manufacturer": "", "model": "", "ram": "",
      "dotnet_version": ""})")),
            Compact(PlatformLayout(info)));
  info.macAddresses = {"001A2B3C4D5E"};
  EXPECT_EQ("001A2B3C4D5E", PlatformLayout(info)["mac"].asString());
}

TEST(ProbesLayouts, GpuListsAdaptersInOrderWithTheSingleFlag) {
  EXPECT_EQ(Compact(J(R"({
      "gpu1": {"name": "Intel(R) UHD Graphics 620", "version": "26.20.100.7262",
               "vendorid": "8086", "deviceid": "5917", "manufacturer": "INTEL",
               "build_num": 7262, "driver_provider": "INTEL"},
      "gpu2": {"name": "GeForce MX150", "version": "23.21.13.8813", "vendorid": "10DE",
               "deviceid": "1D10", "manufacturer": "NVIDIA", "build_num": 8813,
               "driver_provider": "NVIDIA"},
      "is_single": false})")),
            Compact(GpuLayout(Laptop())));

  CSystemInfo none;
  none.singleGpu = true;
  EXPECT_EQ(R"({"is_single":true})", Compact(GpuLayout(none)));
}

TEST(ProbesLayouts, VersionsOfOsDotNetOpenGlAndVt) {
  const CSystemInfo info = Laptop();
  EXPECT_EQ(Compact(J(R"({"version": "10.0.19045", "major": 10, "minor": 0,
                          "name": "Microsoft Windows 10 Pro"})")),
            Compact(OsVersionLayout(info)));
  EXPECT_EQ(Compact(J(R"({"version": "4.0", "major": 4, "minor": 0})")),
            Compact(DotNetLayout(info)));
  EXPECT_EQ(Compact(J(R"({"version": "4.6.0 NVIDIA 456.71", "major": 4, "minor": 6})")),
            Compact(OpenGlLayout(info)));
  EXPECT_EQ(Compact(J(R"({"version": "", "major": 0, "minor": 0})")),
            Compact(OpenGlLayout(CSystemInfo())));
  VtStatus vt;
  vt.supported = true;
  EXPECT_EQ(Compact(J(R"({"supported": true, "enabled": false})")), Compact(VtLayout(vt)));
}

TEST(ProbesLayouts, ProductVersionSplitting) {
  struct Case {
    const char* major;
    const char* minor;
    const char* version;
    int subMinor, build;
  };
  const std::vector<Case> cases = {
      {"2", "0", "2.0.6.8063", 6, 8063},
      {"4", "1", "4.1.28", 1, 28},
      {"2", "5", "2.5", 2, 5},
      {"7", "", "7", 7, 7},  // no '.': the same for both
      {"", "", "", 0, 0},
      {"x", "3y", "1.2.x.y", 0, 0},
      {"2", "0", ".8063", 0, 8063},
      {"2", "0", "2.0..9", 0, 9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    ProductProperties product{"Orvex", "Quarn", c.major, c.minor, c.version};
    Json::Value expected(Json::objectValue);
    expected["name"] = "Orvex";
    expected["manufacturer"] = "Quarn";
    expected["major_version"] = std::atoi(c.major);
    expected["minor_version"] = std::atoi(c.minor);
    expected["version"] = c.version;
    expected["sub_minor_version"] = c.subMinor;
    expected["build"] = c.build;
    EXPECT_EQ(Compact(expected), Compact(ProductLayout(product)));
  }
}

TEST(ProbesMsrDriver, RequestNamesTheRegisterAndEightBytes) {
  uint8_t request[16];
  FillMsrRequest(0x3A, request);
  const std::vector<uint8_t> expected = {0x3A, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(expected, std::vector<uint8_t>(request, request + 16));
  FillMsrRequest(0xC080, request);
  EXPECT_EQ(0x80, request[0]);
  EXPECT_EQ(0xC0, request[1]);
  EXPECT_EQ(0, request[2]);
  EXPECT_EQ(0x9C406450u, kReadMsrControlCode);
  EXPECT_STREQ("\\\\.\\PhyMem", kMsrDevicePath);
}

TEST(ProbesRights, SystemAccountDecisionOnTheAccessList) {
  using Entries = std::vector<platform::AccessEntry>;
  struct Case {
    const char* what;
    Entries entries;
    bool allowed;
  };
  const std::vector<Case> cases = {
      {"empty list", {}, true},
      {"only allow entries", {{0, 0x1F01FF, L"S-1-5-18"}, {0, 0x120089, L"S-1-1-0"}}, true},
      {"deny SYSTEM execute only", {{1, 0x20, L"S-1-5-18"}}, true},
      {"deny SYSTEM write data", {{1, 0x2, L"S-1-5-18"}}, false},
      {"deny SYSTEM read data", {{1, 0x1, L"S-1-5-18"}}, false},
      {"deny SYSTEM read attributes", {{1, 0x80, L"S-1-5-18"}}, false},
      {"deny SYSTEM append", {{1, 0x4, L"S-1-5-18"}}, false},
      {"deny SYSTEM write attributes", {{1, 0x100, L"S-1-5-18"}}, false},
      {"deny SYSTEM write EA", {{1, 0x10, L"S-1-5-18"}}, false},
      {"deny SYSTEM delete only", {{1, 0x10000, L"S-1-5-18"}}, true},
      {"deny Everyone", {{1, 0x1F01FF, L"S-1-1-0"}}, true},
      {"deny a SID that starts alike", {{1, 0x1F01FF, L"S-1-5-180"}}, true},
      {"audit entry of another type", {{2, 0x2, L"S-1-5-18"}}, false},
      {"deny after allow", {{0, 0x1F01FF, L"S-1-5-18"}, {1, 0x116, L"S-1-5-18"}}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.allowed, SystemAccessAllowed(c.entries));
  }
}

}  // namespace
}  // namespace orvex
