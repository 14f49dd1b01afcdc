// Files, services, the register driver and Windows Installer on the simulated machine, and the
// example machines.

#include "platform/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/json_text.h"
#include "base/text.h"
#include "platform/msi.h"
#include "platform/services.h"
#include "platform/sim/machine.h"
#include "platform/win_codes.h"
#include "platform/wmi.h"
#include "tests/support/sim_test_support.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

namespace fs = std::filesystem;
using test::J;

const char kFilesMachine[] = R"({
  "osBits": 64,
  "environment": {"SystemDrive": "C:", "SystemRoot": "C:\\Windows",
                  "TEMP": "C:\\Users\\john\\AppData\\Local\\Temp", "TMP": "C:\\Users\\john\\AppData\\Local\\Temp"},
  "files": {"C:\\Data\\b.txt": "bee", "C:\\Data\\A.txt": "ay", "C:\\Data\\sub\\c.txt": "see"}
})";

std::vector<std::wstring> Listing(const std::wstring& pattern) {
  std::vector<std::wstring> names;
  platform::FindData entry;
  std::unique_ptr<platform::IFileSearch> search = platform::StartFileSearch(pattern, &entry);
  if (!search) return names;
  uint32_t error = 0;
  do names.push_back(entry.name);
  while (search->Next(&entry, &error));
  EXPECT_EQ(platform::kErrorNoMoreFiles, error);
  return names;
}

TEST(SimFiles, DrivePathsLiveInTheSandbox) {
  test::ScopedSandbox sandbox;
  sim::ScopedMachine machine(J(kFilesMachine));
  EXPECT_EQ(sandbox.root() + "/C/Data/A.txt", sim::HostPath(L"c:\\data\\a.TXT"));
  EXPECT_EQ(sandbox.root() + "/C/Data/new.txt", sim::HostPath(L"C:\\Data\\x\\..\\.\\new.txt"));
  // A host path is a path on the current drive, as Windows reads it.
  EXPECT_EQ(sandbox.root() + "/C/tmp/x/y", sim::HostPath(L"/tmp/x\\y"));
  // The temporary folder exists, ends with a backslash, and the system folders are there.
  EXPECT_EQ(L"C:\\Users\\john\\AppData\\Local\\Temp\\", platform::TempPath());
  EXPECT_TRUE(fs::is_directory(sim::HostPath(platform::TempPath())));
  EXPECT_TRUE(platform::PathExists(L"C:\\Windows\\system32"));
  platform::ScopedFile file = platform::OpenForReading(L"C:\\DATA\\B.TXT", nullptr);
  ASSERT_TRUE(file);
  char text[8] = {};
  EXPECT_EQ(3u, std::fread(text, 1, sizeof text, file.get()));
  file.reset();
  EXPECT_STREQ("bee", text);
}

TEST(SimFiles, FindListsDotsFirstThenNamesInUpperCaseOrder) {
  test::ScopedSandbox sandbox;
  sim::ScopedMachine machine(J(kFilesMachine));
  EXPECT_EQ((std::vector<std::wstring>{L".", L"..", L"A.txt", L"b.txt", L"sub"}),
            Listing(L"C:\\Data\\*"));
  EXPECT_EQ((std::vector<std::wstring>{L".", L"..", L"A.txt", L"b.txt", L"sub"}),
            Listing(L"C:\\Data\\*.*"));
  EXPECT_EQ((std::vector<std::wstring>{L"b.txt"}), Listing(L"C:\\Data\\B*"));
  EXPECT_EQ((std::vector<std::wstring>{L"A.txt", L"b.txt"}), Listing(L"C:\\Data\\?.TXT"));
  // A drive's root has no "." or "..".
  const std::vector<std::wstring> root = Listing(L"C:\\*");
  ASSERT_FALSE(root.empty());
  EXPECT_NE(L".", root[0]);
  EXPECT_TRUE(Listing(L"C:\\Data\\*.none").empty());
  EXPECT_TRUE(Listing(L"C:\\Missing\\*").empty());
  platform::FindData entry;
  auto search = platform::StartFileSearch(L"C:\\Data\\s*", &entry);
  ASSERT_TRUE(search);
  EXPECT_EQ(platform::kFileAttributeDirectory, entry.attributes);
}

TEST(SimFiles, DirectoriesFailAsWindowsFailsThem) {
  test::ScopedSandbox sandbox;
  sim::ScopedMachine machine(J(kFilesMachine));
  struct Case {
    const wchar_t* path;
    bool made;
    uint32_t error;
  } cases[] = {
      {L"C:\\Data\\new", true, 0},
      {L"C:\\Data\\new", false, platform::kErrorAlreadyExists},
      {L"C:\\Data\\", false, platform::kErrorAlreadyExists},
      {L"C:\\Data\\a.txt", false, platform::kErrorAlreadyExists},
      {L"C:\\Nowhere\\new", false, platform::kErrorPathNotFound},
      {L"Q:\\new", false, platform::kErrorPathNotFound},
  };
  for (const Case& c : cases) {
    uint32_t error = 0;
    EXPECT_EQ(c.made, platform::MakeDirectory(c.path, &error)) << WideToUtf8(c.path);
    EXPECT_EQ(c.error, error) << WideToUtf8(c.path);
  }
  EXPECT_FALSE(platform::RemoveEmptyDirectory(L"C:\\Data\\sub"));  // not empty
  EXPECT_FALSE(platform::RemoveEmptyDirectory(L"C:\\Data\\A.txt"));
  EXPECT_TRUE(platform::RemoveEmptyDirectory(L"C:\\Data\\new"));
  EXPECT_FALSE(platform::PathExists(L"C:\\Data\\new"));
  EXPECT_FALSE(platform::DeleteFileAt(L"C:\\Data\\sub"));  // a directory is not a file
}

TEST(SimFiles, ReadOnlyFilesResistDeletionAndOverwriting) {
  test::ScopedSandbox sandbox;
  sim::ScopedMachine machine(J(kFilesMachine));
  const std::wstring file = L"C:\\Data\\A.txt";
  EXPECT_EQ(platform::kFileAttributeArchive, platform::FileAttributes(file));
  ASSERT_TRUE(platform::ChangeFileAttributes(
      file, platform::kFileAttributeReadonly | platform::kFileAttributeHidden));
  EXPECT_EQ(platform::kFileAttributeReadonly | platform::kFileAttributeHidden,
            platform::FileAttributes(file));
  EXPECT_FALSE(platform::DeleteFileAt(file));  // even though the tests may run as root
  uint32_t error = 0;
  EXPECT_EQ(nullptr, platform::OpenForWriting(file, &error));
  EXPECT_EQ(platform::kErrorAccessDenied, error);
  // A copy keeps the attributes; a read-only target is not overwritten.
  ASSERT_TRUE(platform::CopyFileTo(file, L"C:\\Data\\copy.txt", true));
  EXPECT_EQ(platform::kFileAttributeReadonly | platform::kFileAttributeHidden,
            platform::FileAttributes(L"C:\\Data\\copy.txt"));
  EXPECT_FALSE(platform::CopyFileTo(L"C:\\Data\\b.txt", L"C:\\Data\\copy.txt", false));
  EXPECT_FALSE(platform::CopyFileTo(L"C:\\Data\\b.txt", L"C:\\Data\\A.txt", true));
  ASSERT_TRUE(platform::ChangeFileAttributes(file, platform::kFileAttributeNormal));
  EXPECT_EQ(platform::kFileAttributeNormal, platform::FileAttributes(file));
  EXPECT_TRUE(platform::DeleteFileAt(file));
  EXPECT_EQ(platform::kInvalidFileAttributes, platform::FileAttributes(file));
  EXPECT_FALSE(platform::DeleteFileAt(file));
  EXPECT_TRUE(platform::CopyFileTo(L"C:\\Data\\b.txt", L"C:\\Data\\sub\\c.txt", false));
}

const char kVtMachine[] = R"({
  "osBits": 64,
  "environment": {"SystemRoot": "C:\\Windows"},
  "msr": {"0x3A": 5},
  "files": {"C:\\Drivers\\quarn_hwio.sys": "driver"}
})";

std::unique_ptr<platform::IService> CreateMsrService(const std::wstring& binary) {
  auto manager = platform::OpenServiceManager(platform::ServiceManagerAccess::kAllAccess);
  return manager ? manager->CreateKernelDriverService(L"PHYMEM", L"PHYMEM", binary) : nullptr;
}

bool ReadMsr(uint32_t msr, uint8_t* low) {
  auto device = platform::OpenDevice("\\\\.\\PhyMem");
  if (!device) return false;
  uint32_t request[4] = {msr, 8, 0, 0};
  uint8_t reply[16] = {};
  if (!device->Control(0x9C406450, request, 16, reply, 16)) return false;
  *low = reply[8];
  return true;
}

TEST(SimServices, TheDriverStartsOnlyWithItsBinaryAndThenAnswers) {
  test::ScopedSandbox sandbox;
  sim::ScopedMachine machine(J(kVtMachine));
  uint8_t low = 0;
  EXPECT_FALSE(ReadMsr(0x3A, &low));  // no service yet
  auto service = CreateMsrService(L"C:\\Windows\\system32\\quarn_hwio.sys");
  ASSERT_TRUE(service);
  EXPECT_FALSE(CreateMsrService(L"C:\\elsewhere.sys"));  // the name is taken
  uint32_t error = 0;
  EXPECT_FALSE(service->Start(&error));
  EXPECT_EQ(platform::kErrorFileNotFound, error);
  EXPECT_FALSE(ReadMsr(0x3A, &low));

  // The service control manager is a 64-bit program: it loads from the real System32, so the
  // copy must be made with redirection off.
  {
    platform::ScopedFsRedirectionOff off;
    ASSERT_TRUE(platform::CopyFileTo(L"C:\\Drivers\\quarn_hwio.sys",
                                     L"C:\\Windows\\system32\\quarn_hwio.sys", true));
  }
  EXPECT_FALSE(platform::PathExists(L"C:\\Windows\\system32\\quarn_hwio.sys"));  // SysWOW64
  ASSERT_TRUE(service->Start(&error));
  EXPECT_FALSE(service->Start(&error));
  EXPECT_EQ(platform::kErrorServiceAlreadyRunning, error);
  bool running = false;
  auto manager = platform::OpenServiceManager(platform::ServiceManagerAccess::kRead);
  auto query = manager->OpenServiceByName(L"phymem", platform::ServiceAccess::kQueryStatus);
  ASSERT_TRUE(query);
  ASSERT_TRUE(query->QueryRunning(&running));
  EXPECT_TRUE(running);
  EXPECT_FALSE(query->Start(&error));  // a query handle may not start it
  ASSERT_TRUE(ReadMsr(0x3A, &low));
  EXPECT_EQ(5, low);
  EXPECT_FALSE(ReadMsr(0x10, &low));  // a register the machine does not give

  EXPECT_TRUE(service->Stop());
  EXPECT_FALSE(ReadMsr(0x3A, &low));
  EXPECT_FALSE(service->Stop());
  EXPECT_TRUE(service->Delete());
  EXPECT_FALSE(manager->OpenServiceByName(L"PHYMEM", platform::ServiceAccess::kQueryStatus));
  const Json::Value state = sim::MachineState();
  EXPECT_EQ(test::Compact(J(R"(["create PHYMEM: 0", "create PHYMEM: failed", "start PHYMEM: 2",
      "start PHYMEM: 0", "start PHYMEM: 1056", "start PHYMEM: 5", "stop PHYMEM: 0",
      "stop PHYMEM: failed", "delete PHYMEM: 0"])")),
            test::Compact(state["serviceEvents"]));
  EXPECT_TRUE(state["services"].empty());
}

TEST(SimServices, AProfileMayBringAnInstalledService) {
  sim::ScopedMachine machine(
      J(R"({"services": {"PHYMEM": {"binaryPath": "C:\\x.sys", "running": true}},
                                   "msr": {"58": 1}})"));
  uint8_t low = 0;
  ASSERT_TRUE(ReadMsr(0x3A, &low));
  EXPECT_EQ(1, low);
  EXPECT_TRUE(sim::MachineState()["services"]["PHYMEM"]["running"].asBool());
}

TEST(SimMsi, ProductsEnumerateAndAnswerLikeMsiDll) {
  sim::ScopedMachine machine(J(R"({"msiProducts": [
    {"productCode": "{11111111-1111-1111-1111-111111111111}", "upgradeCode": "{AAAAAAAA-AAAA-AAAA-AAAA-AAAAAAAAAAAA}",
     "properties": {"InstalledProductName": "Orvex", "VersionString": "2.0.6.8063"}},
    {"productCode": "{22222222-2222-2222-2222-222222222222}",
     "properties": {"InstalledProductName": "Other"}},
    {"productCode": "{33333333-3333-3333-3333-333333333333}", "upgradeCode": "{aaaaaaaa-aaaa-aaaa-aaaa-aaaaaaaaaaaa}",
     "properties": {"InstalledProductName": "Orvex old"}}]})"));
  std::vector<std::wstring> codes;
  std::wstring code;
  uint32_t error = 0;
  for (uint32_t i = 0; platform::EnumInstalledProducts(i, &code, &error); ++i)
    codes.push_back(code);
  EXPECT_EQ(platform::kErrorNoMoreItems, error);
  ASSERT_EQ(3u, codes.size());
  EXPECT_EQ(L"{22222222-2222-2222-2222-222222222222}", codes[1]);

  struct Case {
    const wchar_t* product;
    const wchar_t* property;
    uint32_t buffer;
    uint32_t result;
    const wchar_t* value;
  } cases[] = {
      {L"{11111111-1111-1111-1111-111111111111}", L"InstalledProductName", 512, 0, L"Orvex"},
      {L"{11111111-1111-1111-1111-111111111111}", L"InstalledProductName", 6, 0, L"Orvex"},
      {L"{11111111-1111-1111-1111-111111111111}", L"InstalledProductName", 5, 234, L""},
      {L"{11111111-1111-1111-1111-111111111111}", L"Publisher", 512, 0, L""},  // known, not set
      {L"{11111111-1111-1111-1111-111111111111}", L"NoSuchThing", 512, 1608, L""},
      {L"{99999999-9999-9999-9999-999999999999}", L"InstalledProductName", 512, 1605, L""},
      {L"not a code", L"InstalledProductName", 512, 87, L""},
  };
  for (const Case& c : cases) {
    std::wstring value;
    uint32_t result = 0;
    EXPECT_EQ(c.result == 0,
              platform::GetInstalledProductInfo(c.product, c.property, c.buffer, &value, &result));
    EXPECT_EQ(c.result, result) << WideToUtf8(c.property) << " " << c.buffer;
    EXPECT_EQ(c.value, value) << WideToUtf8(c.property);
  }

  ASSERT_TRUE(
      platform::EnumRelatedProducts(L"{AAAAAAAA-AAAA-AAAA-AAAA-AAAAAAAAAAAA}", 0, &code, nullptr));
  EXPECT_EQ(L"{11111111-1111-1111-1111-111111111111}", code);
  ASSERT_TRUE(
      platform::EnumRelatedProducts(L"{AAAAAAAA-AAAA-AAAA-AAAA-AAAAAAAAAAAA}", 1, &code, nullptr));
  EXPECT_EQ(L"{33333333-3333-3333-3333-333333333333}", code);
  error = 0;
  EXPECT_FALSE(
      platform::EnumRelatedProducts(L"{AAAAAAAA-AAAA-AAAA-AAAA-AAAAAAAAAAAA}", 2, &code, &error));
  EXPECT_EQ(platform::kErrorNoMoreItems, error);
  error = 0;
  EXPECT_FALSE(
      platform::EnumRelatedProducts(L"{BBBBBBBB-BBBB-BBBB-BBBB-BBBBBBBBBBBB}", 0, &code, &error));
  EXPECT_EQ(platform::kErrorNoMoreItems, error);
}

std::string OsVersion() {
  auto session = platform::ConnectWmi(L"ROOT\\CIMV2");
  if (!session || !session->ExecQuery(L"SELECT * FROM Win32_OperatingSystem")) return "";
  auto row = session->Next();
  return row ? WideToUtf8(row->Get(L"Version").text) : "";
}

TEST(SimMachines, EveryExampleLoadsAndAnswersItsWindowsVersion) {
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"win7-intel-msr.json", "6.1.7601"},        {"win81-amd.json", "6.3.9600"},
      {"laptop-intel-nvidia.json", "10.0.19045"}, {"vm-no-pci-video.json", "10.0.17763"},
      {"orvex-installed.json", "10.0.19045"},     {"windows10-russian.json", "10.0.19045"},
      {"windows10-chinese.json", "10.0.19045"}};
  for (const auto& machine : expected) {
    std::ifstream in(fs::path(ORVEX_EXAMPLES_DIR) / "machines" / machine.first, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    Json::Value profile;
    std::string error;
    ASSERT_TRUE(ParseJson(text.str(), profile, &error)) << machine.first << ": " << error;
    sim::ScopedMachine loaded(profile);
    EXPECT_EQ(machine.second, OsVersion()) << machine.first;
  }
  sim::ScopedMachine builtIn(sim::DefaultProfile());
  EXPECT_EQ("10.0.19045", OsVersion());
}

}  // namespace
}  // namespace orvex
