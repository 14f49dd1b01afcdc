// The shared helpers on simulated machines: registry values under HKEY_LOCAL_MACHINE, flat
// directory copy and delete, the profile folder and installation paths, the related product.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/registry.h"
#include "platform/sim/machine.h"
#include "probes/directory_files.h"
#include "probes/install_paths.h"
#include "probes/product_lookup.h"
#include "probes/registry_values.h"
#include "tests/support/probes_machines.h"

namespace orvex {
namespace {

using test::Compact;
using test::J;
using test::ProbeLaptopProfile;
namespace fs = std::filesystem;

void WriteHostFile(const std::wstring& windowsPath, const std::string& content) {
  std::ofstream(sim::HostPath(windowsPath), std::ios::binary) << content;
}

std::string ReadHostFile(const std::wstring& windowsPath) {
  std::ifstream in(sim::HostPath(windowsPath), std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool HostPathExists(const std::wstring& windowsPath) {
  return fs::exists(sim::HostPath(windowsPath));
}

TEST(ProbesRegistryHelpers, StringRoundTripInTheSixtyFourBitView) {
  // The product's key exists (its setup made it): writes and reads meet in the 64-bit view.
  sim::ScopedMachine machine(J(R"({"name": "registry", "registry": {"SOFTWARE\\Quarn\\Orvex": {}}})"));
  EXPECT_EQ(0, WriteRegistryString("Software\\Quarn\\Orvex", "InstallDir",
                                   "C:\\Program Files\\Orvex\\"));
  std::string text = "untouched";
  EXPECT_EQ(0, ReadRegistryString("Software\\Quarn\\Orvex", "InstallDir", &text));
  EXPECT_EQ("C:\\Program Files\\Orvex\\", text);

  // Stored as REG_SZ with its terminating zero.
  std::unique_ptr<platform::IRegistryKey> key;
  ASSERT_EQ(0u, platform::OpenLocalMachineKey(L"SOFTWARE\\Quarn\\Orvex",
                                              platform::RegistryAccess::kRead,
                                              platform::RegistryView::k64Bit, &key));
  platform::RegistryValue raw;
  ASSERT_EQ(0u, key->QueryValue(L"InstallDir", 1024, &raw));
  EXPECT_EQ(platform::kRegSz, raw.type);
  ASSERT_EQ(2 * (text.size() + 1), raw.data.size());
  EXPECT_EQ(0, raw.data[raw.data.size() - 1]);
  EXPECT_EQ(0, raw.data[raw.data.size() - 2]);
}

TEST(ProbesRegistryHelpers, MissingKeyIsCreatedWhereTheReadsLook) {
  // The reads use the 64-bit view; a key the 32-bit installer creates must land there too,
  // not in WOW6432Node, or the value written would never be read back.
  for (const char* profile : {R"({"name": "32-bit", "osBits": 32})",
                              R"({"name": "64-bit", "osBits": 64})"}) {
    sim::ScopedMachine machine(J(profile));
    EXPECT_EQ(0, WriteRegistryString("Software\\Quarn\\Orvex", "UserDataDir", "C:\\Data"));
    const std::string created = Compact(sim::MachineState()["createdKeys"]);
    EXPECT_EQ(std::string::npos, created.find("WOW6432Node")) << created;
    std::string text;
    EXPECT_EQ(0, ReadRegistryString("Software\\Quarn\\Orvex", "UserDataDir", &text)) << profile;
    EXPECT_EQ("C:\\Data", text);
  }
}

TEST(ProbesRegistryHelpers, DwordAndReadFailures) {
  sim::ScopedMachine machine(J(R"({"name": "registry", "registry": {
      "SOFTWARE\\Quarn\\Orvex": {"Number": {"dword": 7}, "Empty": ""}}})"));
  EXPECT_EQ(0, WriteRegistryDword("Software\\Quarn\\Orvex", "Flag", 0x01020304));
  std::unique_ptr<platform::IRegistryKey> key;
  ASSERT_EQ(0u, platform::OpenLocalMachineKey(L"SOFTWARE\\Quarn\\Orvex",
                                              platform::RegistryAccess::kRead,
                                              platform::RegistryView::k64Bit, &key));
  platform::RegistryValue raw;
  ASSERT_EQ(0u, key->QueryValue(L"Flag", 16, &raw));
  EXPECT_EQ(platform::kRegDword, raw.type);
  EXPECT_EQ(std::vector<uint8_t>({4, 3, 2, 1}), raw.data);

  std::string text = "untouched";
  EXPECT_EQ(-1, ReadRegistryString("Software\\Quarn\\Orvex", "Missing", &text));
  EXPECT_EQ(-1, ReadRegistryString("Software\\Quarn\\Nothing", "InstallDir", &text));
  EXPECT_EQ("untouched", text);
  EXPECT_EQ(0, ReadRegistryString("Software\\Quarn\\Orvex", "Empty", &text));
  EXPECT_EQ("", text);

  // The 128-byte buffer: 127 characters and the zero fit, 128 do not.
  EXPECT_EQ(0, WriteRegistryString("Software\\Quarn\\Orvex", "Long", std::string(127, 'x')));
  EXPECT_EQ(0, ReadRegistryString("Software\\Quarn\\Orvex", "Long", &text));
  EXPECT_EQ(std::string(127, 'x'), text);
  EXPECT_EQ(0, WriteRegistryString("Software\\Quarn\\Orvex", "Long", std::string(128, 'x')));
  text = "untouched";
  EXPECT_EQ(-1, ReadRegistryString("Software\\Quarn\\Orvex", "Long", &text));
  EXPECT_EQ("untouched", text);
}

TEST(ProbesDirectoryHelpers, CreateDirectoryIfMissing) {
  sim::ScopedMachine machine(J(R"({"name": "dirs"})"));
  const std::wstring base = L"C:\\probes-create";
  fs::remove_all(sim::HostPath(base));
  EXPECT_EQ(0, CreateDirectoryIfMissing(base));
  EXPECT_TRUE(fs::is_directory(sim::HostPath(base)));
  EXPECT_EQ(0, CreateDirectoryIfMissing(base));  // already there
  EXPECT_EQ(-1, CreateDirectoryIfMissing(base + L"\\missing\\child"));
  EXPECT_FALSE(HostPathExists(base + L"\\missing"));
  fs::remove_all(sim::HostPath(base));
}

TEST(ProbesDirectoryHelpers, FlatCopyAndDeleteLeaveSubdirectoriesAndExistingTargets) {
  sim::ScopedMachine machine(J(R"({"name": "dirs"})"));
  const std::wstring source = L"C:\\probes-copy\\from";
  const std::wstring target = L"C:\\probes-copy\\to";
  fs::remove_all(sim::HostPath(L"C:\\probes-copy"));
  fs::create_directories(sim::HostPath(source + L"\\s"));
  fs::create_directories(sim::HostPath(target));
  WriteHostFile(source + L"\\a", "new a");
  WriteHostFile(source + L"\\b", "new b");
  WriteHostFile(source + L"\\s\\inner", "inner");
  WriteHostFile(target + L"\\b", "old b");

  CopyDirectoryFiles(source, target);
  EXPECT_EQ("new a", ReadHostFile(target + L"\\a"));
  EXPECT_EQ("old b", ReadHostFile(target + L"\\b"));
  EXPECT_FALSE(HostPathExists(target + L"\\s"));

  DeleteDirectoryFiles(source);
  EXPECT_FALSE(HostPathExists(source + L"\\a"));
  EXPECT_FALSE(HostPathExists(source + L"\\b"));
  EXPECT_EQ("inner", ReadHostFile(source + L"\\s\\inner"));

  // A missing directory, and one longer than the routine's buffer, are left alone quietly.
  CopyDirectoryFiles(L"C:\\probes-copy\\none", target);
  const std::wstring deep = L"C:\\probes-copy\\" + std::wstring(250, L'd');
  // Beyond MAX_PATH the test reaches the folder in the long form.
  const std::wstring deepLong = L"\\\\?\\" + deep;
  fs::create_directories(sim::HostPath(deepLong));
  WriteHostFile(deepLong + L"\\f", "f");
  DeleteDirectoryFiles(deep);
  EXPECT_EQ("f", ReadHostFile(deepLong + L"\\f"));
  fs::remove_all(sim::HostPath(L"C:\\probes-copy"));
}

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

TEST(ProbesInstallPaths, EmptyDirectoriesAreReadAgain) {
  sim::ScopedMachine machine(J(R"({"name": "paths", "registry": {"SOFTWARE\\Quarn\\Orvex": {}}})"));
  if (!GetInstallPaths().installDir.empty() || !GetInstallPaths().userDataDir.empty())
    GTEST_SKIP() << "an earlier test filled the process's paths record";
  EXPECT_EQ("", GetInstallDir());
  ASSERT_EQ(0, WriteRegistryString("Software\\Quarn\\Orvex", "InstallDir", "D:\\Orvex"));
  ASSERT_EQ(0, WriteRegistryString("Software\\Quarn\\Orvex", "UserDataDir", "D:\\Data"));
  EXPECT_EQ("D:\\Orvex", GetInstallDir());
  EXPECT_EQ("D:\\Data", GetUserDataDir());
}

TEST(ProbesProductLookup, RelatedProductByUpgradeCode) {
  sim::ScopedMachine machine(J(R"({"name": "products", "msiProducts": [
      {"productCode": "{11111111-1111-1111-1111-111111111111}",
       "upgradeCode": "{AAAAAAAA-AAAA-AAAA-AAAA-AAAAAAAAAAAA}",
       "properties": {"InstalledProductName": "Orvex"}},
      {"productCode": "{22222222-2222-2222-2222-222222222222}",
       "upgradeCode": "{BBBBBBBB-BBBB-BBBB-BBBB-BBBBBBBBBBBB}",
       "properties": {"InstalledProductName": "orvex"}}]})"));
  EXPECT_EQ(16u, FindRelatedProduct(L"{AAAAAAAA-AAAA-AAAA-AAAA-AAAAAAAAAAAA}"));
  EXPECT_EQ(17u, FindRelatedProduct(L"{BBBBBBBB-BBBB-BBBB-BBBB-BBBBBBBBBBBB}"));
  EXPECT_EQ(17u, FindRelatedProduct(L"{CCCCCCCC-CCCC-CCCC-CCCC-CCCCCCCCCCCC}"));
}

}  // namespace
}  // namespace orvex
