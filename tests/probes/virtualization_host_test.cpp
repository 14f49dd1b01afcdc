// The virtualization check on simulated machines: the processor's answer by vendor, the
// operating system's answer from Windows 8 on, and on older Windows the Intel feature-control
// register read through the register driver and its service.

#include "probes/virtualization.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/admin_folders.h"
#include "platform/files.h"
#include "platform/sim/machine.h"
#include "probes/msr_driver.h"
#include "tests/support/probes_machines.h"

namespace orvex {
namespace {

using test::J;

CSystemInfo Facts(const char* vendor, int major, int minor, bool firmwareFlag) {
  CSystemInfo info;
  info.processorMfr = vendor;
  info.osMajor = major;
  info.osMinor = minor;
  info.vtFirmwareEnabled = firmwareFlag;
  return info;
}

// A machine with the processor bits, features and register value given.
Json::Value Machine(uint32_t leaf1Ecx, uint32_t extendedEcx, bool firmwareFeature,
                    const char* extra = "{}") {
  Json::Value profile = J(extra);
  profile["name"] = "vt";
  profile["environment"]["SystemRoot"] = "C:\\Windows";
  profile["cpuid"]["0x1"]["ecx"] = leaf1Ecx;
  profile["cpuid"]["0x80000001"]["ecx"] = extendedEcx;
  profile["processorFeatures"] = Json::Value(Json::arrayValue);
  if (firmwareFeature) profile["processorFeatures"].append(21);
  return profile;
}

std::string ReadHostFile(const std::wstring& windowsPath) {
  platform::ScopedFsRedirectionOff native;
  std::ifstream in(sim::HostPath(windowsPath), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The sandbox's drives outlive a loaded machine: each test starts without driver copies.
class ProbesVirtualization : public ::testing::Test {
 protected:
  void SetUp() override { RemoveDriverCopies(); }
  void TearDown() override { RemoveDriverCopies(); }
  static void RemoveDriverCopies() {
    sim::ScopedMachine machine(J(R"({"name": "cleanup"})"));
    platform::ScopedFsRedirectionOff native;
    std::error_code ignored;
    std::filesystem::remove(sim::HostPath(L"C:\\Windows\\system32\\quarn_hwio.sys"), ignored);
    std::filesystem::remove_all(sim::HostPath(L"C:\\drivers"), ignored);
  }
  // Puts a driver file into C:\drivers, a folder made new: for administrators only (as the
  // session folder is), or an ordinary one a user could have written.
  static void PlaceDriver(const char* content, bool adminOnly) {
    std::error_code ignored;
    std::filesystem::remove_all(sim::HostPath(L"C:\\drivers"), ignored);
    uint32_t error = 0;
    ASSERT_TRUE(adminOnly ? platform::MakeAdminOnlyDirectory(L"C:\\drivers", &error)
                          : platform::MakeDirectory(L"C:\\drivers", &error))
        << error;
    platform::ScopedFile file = platform::OpenForWriting(L"C:\\drivers\\quarn_hwio.sys", &error);
    ASSERT_NE(nullptr, file) << error;
    std::fputs(content, file.get());
    file.reset();
  }
};

constexpr uint32_t kVmx = 0x20;
constexpr uint32_t kSvm = 0x4;

TEST_F(ProbesVirtualization, DecisionByOperatingSystemAndVendor) {
  struct Case {
    const char* what;
    const char* vendor;
    int major, minor;
    bool firmwareFlag;
    uint32_t leaf1Ecx, extendedEcx;
    bool feature;
    bool supported, enabled;
  };
  const std::vector<Case> cases = {
      {"Windows 10 Intel, feature present", "GenuineIntel", 10, 0, false, kVmx, 0, true, true,
       true},
      {"Windows 10 Intel, firmware flag only", "GenuineIntel", 10, 0, true, kVmx, 0, false, true,
       true},
      {"Windows 10 Intel, neither", "GenuineIntel", 10, 0, false, kVmx, 0, false, true, false},
      {"Windows 10 Intel, no VMX", "GenuineIntel", 10, 0, true, 0, kSvm, true, false, false},
      {"Windows 8.1 AMD with SVM", "AuthenticAMD", 6, 3, false, 0, kSvm, true, true, true},
      {"Windows 8 AMD, off", "AuthenticAMD", 6, 2, false, 0, kSvm, false, true, false},
      {"AMD looks at SVM, not VMX", "AuthenticAMD", 10, 0, true, kVmx, 0, true, false, false},
      {"Windows 7 AMD with SVM: enabled unchecked", "AuthenticAMD", 6, 1, false, 0, kSvm, false,
       true, true},
      {"Windows 7 other vendor with VMX", "CentaurHauls", 6, 1, false, kVmx, 0, false, true, true},
      {"empty vendor: VMX bit, then like non-Intel", "", 0, 0, false, kVmx, 0, false, true, true},
      {"major 7 counts as older", "AuthenticAMD", 7, 5, false, 0, kSvm, false, true, true},
      {"Windows 7 Intel without VMX", "GenuineIntel", 6, 1, false, 0, 0, true, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::ScopedMachine machine(Machine(c.leaf1Ecx, c.extendedEcx, c.feature));
    const VtStatus status =
        CheckVirtualization(Facts(c.vendor, c.major, c.minor, c.firmwareFlag), L"C:\\drivers");
    EXPECT_EQ(c.supported, status.supported);
    EXPECT_EQ(c.enabled, status.enabled);
    // None of these touches the register driver.
    EXPECT_EQ(Json::Value(Json::objectValue), sim::MachineState()["services"]);
  }
}

TEST_F(ProbesVirtualization, WindowsSevenIntelReadsTheFeatureControlRegister) {
  struct Case {
    int value;
    bool enabled;
  };
  for (const Case& c : std::vector<Case>{
           {0x5, true}, {0x3, true}, {0x4, true}, {0x1, false}, {0x0, false}, {0xF9, false}}) {
    SCOPED_TRACE(c.value);
    Json::Value profile = Machine(kVmx, 0, true);
    profile["msr"]["0x3A"] = c.value;
    sim::ScopedMachine machine(profile);
    PlaceDriver("driver", true);
    testing::internal::CaptureStdout();
    const VtStatus status = CheckVirtualization(Facts("GenuineIntel", 6, 1, true), L"C:\\drivers");
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(status.supported);
    EXPECT_EQ(c.enabled, status.enabled);
    EXPECT_EQ("Driver path/name:C:\\Windows\\system32\\quarn_hwio.sys\n", output);
    // The copy in system32 and the automatically starting service stay.
    EXPECT_EQ("driver", ReadHostFile(L"C:\\Windows\\system32\\quarn_hwio.sys"));
    const Json::Value service = sim::MachineState()["services"]["PHYMEM"];
    EXPECT_TRUE(service["running"].asBool());
    EXPECT_EQ("C:\\Windows\\system32\\quarn_hwio.sys", service["binaryPath"].asString());
  }
}

TEST_F(ProbesVirtualization, FailingDriverStartCountsAsEnabled) {
  // No driver file in the directory or in system32: the service is created, its start fails.
  sim::ScopedMachine machine(Machine(kVmx, 0, false, R"({"msr": {"0x3A": 1}})"));
  testing::internal::CaptureStdout();
  const VtStatus status = CheckVirtualization(Facts("GenuineIntel", 6, 1, false), L"C:\\drivers");
  const std::string output = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(status.supported);
  EXPECT_TRUE(status.enabled);
  EXPECT_EQ(0u, output.find("Driver path/name:C:\\Windows\\system32\\quarn_hwio.sys\n"
                            "MSR Driver Error code:"))
      << output;
  EXPECT_NE(std::string::npos, output.find("\nFailed in Start MSR driver\n")) << output;
  EXPECT_FALSE(sim::MachineState()["services"]["PHYMEM"]["running"].asBool());
}

TEST_F(ProbesVirtualization, InstalledCopyIsNeverOverwritten) {
  Json::Value profile = Machine(kVmx, 0, false, R"({"files": {
      "C:\\Windows\\system32\\quarn_hwio.sys": "installed driver"}, "msr": {"0x3A": 5}})");
  sim::ScopedMachine machine(profile);
  PlaceDriver("new driver", true);
  testing::internal::CaptureStdout();
  EXPECT_TRUE(CheckVirtualization(Facts("GenuineIntel", 6, 1, false), L"C:\\drivers").enabled);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ("installed driver", ReadHostFile(L"C:\\Windows\\system32\\quarn_hwio.sys"));
}

TEST_F(ProbesVirtualization, RunningServiceIsUsedAsItIs) {
  Json::Value profile = Machine(kVmx, 0, false, R"({"msr": {"0x3A": 5},
      "files": {"C:\\Windows\\system32\\quarn_hwio.sys": "driver"},
      "services": {"PHYMEM": {"binaryPath": "C:\\Windows\\system32\\quarn_hwio.sys",
                              "running": true}}})");
  sim::ScopedMachine machine(profile);
  testing::internal::CaptureStdout();
  uint8_t reply[16] = {};
  EXPECT_TRUE(IsMsrServiceRunning());
  EXPECT_TRUE(ReadMsr(0x3A, L"C:\\nowhere", reply));
  EXPECT_EQ("", testing::internal::GetCapturedStdout());  // nothing installed or started
  EXPECT_EQ(5, reply[8]);
}

TEST_F(ProbesVirtualization, StoppedServiceIsRemovedRecreatedAndStarted) {
  Json::Value profile = Machine(kVmx, 0, false, R"({"msr": {"0x3A": 4},
      "files": {"C:\\drivers\\quarn_hwio.sys": "driver"},
      "services": {"PHYMEM": {"binaryPath": "C:\\old\\quarn_hwio.sys", "running": false}}})");
  sim::ScopedMachine machine(profile);
  EXPECT_FALSE(IsMsrServiceRunning());
  testing::internal::CaptureStdout();
  uint8_t reply[16] = {};
  EXPECT_TRUE(ReadMsr(0x3A, L"C:\\drivers", reply));
  EXPECT_EQ("Driver path/name:C:\\drivers\\quarn_hwio.sys\n",
            testing::internal::GetCapturedStdout());
  EXPECT_EQ(4, reply[8]);
  const Json::Value service = sim::MachineState()["services"]["PHYMEM"];
  EXPECT_EQ("C:\\drivers\\quarn_hwio.sys", service["binaryPath"].asString());
  EXPECT_TRUE(service["running"].asBool());
}

// The kernel runs the driver copied into system32 with the highest rights there are, so it is
// taken only from a folder nobody without elevation can change; a driver in any other folder,
// at the current drive's root (what an empty directory would name, as the crash report's check
// has) or in a system folder that %SystemRoot% points elsewhere is never copied or started.
TEST_F(ProbesVirtualization, DriverIsTakenOnlyFromAFolderForAdministrators) {
  struct Case {
    const char* what;
    const wchar_t* directory;
  };
  const Case cases[] = {{"a folder the user could write", L"C:\\drivers"},
                        {"no directory: the current drive's root", L""}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Json::Value profile = Machine(kVmx, 0, false, R"({"msr": {"0x3A": 0},
        "files": {"C:\\quarn_hwio.sys": "planted at the root"}})");
    profile["environment"]["SystemRoot"] = "C:\\Users\\john\\fake";
    profile["currentDirectory"] = "C:\\";
    sim::ScopedMachine machine(profile);
    PlaceDriver("planted", false);
    testing::internal::CaptureStdout();
    const VtStatus status = CheckVirtualization(Facts("GenuineIntel", 6, 1, false), c.directory);
    testing::internal::GetCapturedStdout();
    // Nothing was copied; the service points at the real system folder, where no driver is,
    // so it cannot start and the check counts as enabled.
    EXPECT_TRUE(status.enabled);
    EXPECT_EQ("", ReadHostFile(L"C:\\Windows\\system32\\quarn_hwio.sys"));
    EXPECT_EQ("", ReadHostFile(L"C:\\Users\\john\\fake\\system32\\quarn_hwio.sys"));
    const Json::Value service = sim::MachineState()["services"]["PHYMEM"];
    EXPECT_FALSE(service["running"].asBool());
    EXPECT_EQ("C:\\Windows\\system32\\quarn_hwio.sys", service["binaryPath"].asString());
    std::error_code ignored;
    std::filesystem::remove(sim::HostPath(L"C:\\quarn_hwio.sys"), ignored);
  }
}

TEST_F(ProbesVirtualization, ServiceRoutinesWithoutAService) {
  sim::ScopedMachine machine(Machine(kVmx, 0, false));
  EXPECT_FALSE(IsMsrServiceRunning());
  EXPECT_FALSE(StopMsrService());
  EXPECT_FALSE(RemoveMsrService());
  EXPECT_FALSE(StartMsrService());
  uint8_t reply[16] = {};
  testing::internal::CaptureStdout();
  EXPECT_FALSE(ReadMsr(0x3A, L"C:\\nowhere", reply));
  testing::internal::GetCapturedStdout();
}

}  // namespace
}  // namespace orvex
