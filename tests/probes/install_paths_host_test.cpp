// The installation paths on simulated machines: the profile folder from the environment or
// WMI, and directories read again from the registry while they are empty.

#include "probes/install_paths.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/sim/machine.h"
#include "probes/registry_values.h"
#include "tests/support/probes_machines.h"

namespace orvex {
namespace {

using test::J;
using test::ProbeLaptopProfile;

TEST(ProbesInstallPaths, ProfileFolderFromTheEnvironmentOrWmi) {
  Json::Value profile = ProbeLaptopProfile();
  profile["registry"]["SOFTWARE\\Quarn\\Orvex"]["InstallDir"] = "C:\\Program Files\\Orvex";
  {
    sim::ScopedMachine machine(profile);
    EXPECT_EQ(L"john", GetUserFolderName());
    const CInstallPaths paths = BuildInstallPaths();
    EXPECT_EQ("C:\\Program Files\\Orvex", paths.installDir);
    EXPECT_EQ("", paths.userDataDir);
    EXPECT_EQ(L"C:\\Users\\john\\.Orvex", paths.homeDir);
    EXPECT_EQ(L"john", paths.userFolder);
    EXPECT_EQ(L"john", paths.userName);
  }
  // Without USERPROFILE: the computer's user, its SID and the profile's local path.
  profile["environment"].removeMember("USERPROFILE");
  {
    sim::ScopedMachine machine(profile);
    EXPECT_EQ(L"john.LAPTOP", GetUserFolderName());
    EXPECT_EQ(L"john.LAPTOP", GetProfileFolderFromWmi(L"john"));
    EXPECT_EQ(L"john.LAPTOP", GetProfileFolderFromWmi(L"OTHERDOMAIN\\john"));
    EXPECT_EQ(L"", GetProfileFolderFromWmi(L"nobody"));
  }
}

// Empties the process's installation and user-data directories for one test.
class ScopedEmptyInstallDirectories {
 public:
  ScopedEmptyInstallDirectories() : saved_(GetInstallPaths()) {
    GetInstallPaths().installDir.clear();
    GetInstallPaths().userDataDir.clear();
  }
  ~ScopedEmptyInstallDirectories() { GetInstallPaths() = saved_; }
  ScopedEmptyInstallDirectories(const ScopedEmptyInstallDirectories&) = delete;
  ScopedEmptyInstallDirectories& operator=(const ScopedEmptyInstallDirectories&) = delete;

 private:
  const CInstallPaths saved_;
};

TEST(ProbesInstallPaths, EmptyDirectoriesAreReadAgain) {
  sim::ScopedMachine machine(J(R"({"name": "paths", "registry": {"SOFTWARE\\Quarn\\Orvex": {}}})"));
  // The record lives as long as the process: whatever an earlier test left in it is set
  // aside while this one runs and put back after.
  ScopedEmptyInstallDirectories emptied;
  EXPECT_EQ("", GetInstallDir());
  ASSERT_EQ(0, WriteRegistryString("Software\\Quarn\\Orvex", "InstallDir", "D:\\Orvex"));
  ASSERT_EQ(0, WriteRegistryString("Software\\Quarn\\Orvex", "UserDataDir", "D:\\Data"));
  EXPECT_EQ("D:\\Orvex", GetInstallDir());
  EXPECT_EQ("D:\\Data", GetUserDataDir());
}

}  // namespace
}  // namespace orvex
