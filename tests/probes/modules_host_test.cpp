// The information modules, the rights checkers and the housekeeping modules CreateInTempDir,
// RemoveDir and RestartSystem, run as a stage runs them: created by class name, given their
// arguments, executed on the session document of a simulated machine.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "base/json_text.h"
#include "base/text.h"
#include "common/session_cells.h"
#include "engine/module.h"
#include "engine/stage.h"
#include "platform/admin_folders.h"
#include "platform/file_writer.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "platform/sim/machine.h"
#include "platform/win_codes.h"
#include "probes/system_info.h"
#include "tests/support/probes_machines.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

using test::Compact;
using test::J;
using test::ProbeLaptopProfile;
using test::RecordingIndicator;
namespace fs = std::filesystem;

class ProbesModulesTest : public ::testing::Test {
 protected:
  // Runs the module on doc; returns what Execute returned.
  int Run(const char* className, const char* args, Json::Value& doc,
          IProgressIndicator* indicator = nullptr) {
    std::unique_ptr<IModule> module = test::MakeRegisteredModule(className, args, stage, indicator);
    return module ? module->Execute(doc) : 99;
  }
  CStage stage{"S"};
};

// The record of the laptop, standing in for the process's own while a test runs.
class ProbesInfoModulesTest : public ProbesModulesTest {
 protected:
  ProbesInfoModulesTest() : machine_(ProbeLaptopProfile()), record_(BuildSystemInfo()) {}
  sim::ScopedMachine machine_;
  ScopedSystemInfo record_;
};

TEST_F(ProbesInfoModulesTest, EachModuleWritesItsLayoutUnderSaveTo) {
  struct Case {
    const char* className;
    const char* suffix;
    const char* value;
  };
  const std::vector<Case> cases = {
      {"GetDOTNetInfo", "dotnet", R"({"version": "4.0", "major": 4, "minor": 0})"},
      {"GetOSVersion", "osver",
       R"({"version": "10.0.19045", "major": 10, "minor": 0, "name": "Microsoft Windows 10 Pro"})"},
      {"GetTotalRAM", "ram", "16384"},
      {"GetOpenGLVersion", "opengl",
       R"({"version": "4.6.0 NVIDIA 456.71", "major": 4, "minor": 6})"},
      {"GetGPUDriverVersion", "gpu", R"({
          "gpu1": {"name": "Intel(R) UHD Graphics Family", "version": "26.20.100.7262",
                   "vendorid": "8086", "deviceid": "5917", "manufacturer": "INTEL",
                   "build_num": 7262, "driver_provider": "INTEL"},
          "gpu2": {"name": "GeForce MX150", "version": "23.21.13.8813", "vendorid": "10DE",
                   "deviceid": "1D10", "manufacturer": "NVIDIA", "build_num": 8813,
                   "driver_provider": "NVIDIA"},
          "is_single": false})"},
      {"GetPlatformInfo", "platform", R"({
          "gpu1": {"gpu": "Intel(R) UHD Graphics Family", "gpu_driver_version": "26.20.100.7262",
                   "gpu_build_num": 7262, "gpu_manufacturer": "INTEL", "gpu_vendor_Id": "8086",
                   "gpu_device_id": "5917"},
          "gpu2": {"gpu": "GeForce MX150", "gpu_driver_version": "23.21.13.8813",
                   "gpu_build_num": 8813, "gpu_manufacturer": "NVIDIA", "gpu_vendor_Id": "10DE",
                   "gpu_device_id": "1D10"},
          "release": "rc", "mac": "001A2B3C4D5E 00FF00FF00FF", "disksn": "WD-WMAZA0454107",
          "disksn_2": "1f2e3d4c-5b6a-4789-8abc-def012345678", "biossn": "PF0ABC12",
          "os": "Microsoft Windows 10 Pro", "os_arch": "x64", "os_version": "10.0.19045",
          "processor": "Intel(R) Core(TM) i7-8550U CPU @ 1.80GHz",
          "processor_mfr": "GenuineIntel", "opengl_version": "4", "manufacturer": "LENOVO",
          "model": "20L5", "ram": "16384", "dotnet_version": "4.0"})"},
      {"GetVTInfo", "vt", R"({"supported": true, "enabled": true})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.className);
    const std::string args = c.className == std::string("GetVTInfo")
                                 ? R"({"saveTo": ".Config", "directory": ".SessionDir"})"
                                 : R"({"saveTo": ".Config"})";
    Json::Value doc = J(R"({"Config": {"keep": 1, ")" + std::string(c.suffix) +
                        R"(": "replaced"}, "SessionDir": "C:\\Temp\\s"})");
    EXPECT_EQ(0, Run(c.className, args.c_str(), doc));
    Json::Value expected = J(R"({"Config": {"keep": 1}, "SessionDir": "C:\\Temp\\s"})");
    expected["Config"][c.suffix] = J(c.value);
    EXPECT_EQ(Compact(expected), Compact(doc));
  }
}

TEST_F(ProbesInfoModulesTest, TargetParentsAreCreated) {
  Json::Value doc;
  EXPECT_EQ(0, Run("GetOSVersion", R"({"saveTo": ".A.B"})", doc));
  EXPECT_EQ("10.0.19045", doc["A"]["B"]["osver"]["version"].asString());
}

TEST_F(ProbesInfoModulesTest, MissingArgumentsAreFatal) {
  struct Case {
    const char* className;
    const char* args;
    const char* record;
  };
  const char* const noSaveTo =
      R"({"status": "fatal", "reason": "There is no saveTo path", "error": "NO_SAVETO_PATH"})";
  const std::vector<Case> cases = {
      {"GetDOTNetInfo", "{}", noSaveTo},
      {"GetOSVersion", R"({"saveTo": null})", noSaveTo},
      {"GetTotalRAM", "{}", noSaveTo},
      {"GetPlatformInfo", "{}", noSaveTo},
      {"GetOpenGLVersion", "{}", noSaveTo},
      {"GetGPUDriverVersion", R"({"saveto": ".Config"})", noSaveTo},
      {"GetVTInfo", R"({"directory": "C:\\d"})", noSaveTo},
      {"GetVTInfo", R"({"saveTo": ".Config"})",
       R"({"status": "fatal", "reason": "The directory string is null",
           "error": "DIRECTORY_PATH_NULL"})"},
      {"GetProductInfo", R"({"product": "Orvex"})",
       R"({"status": "fatal", "reason": "There is no saveTo path"})"},
      {"GetProductInfo", R"({"saveTo": ".Config"})",
       R"({"status": "fatal", "reason": "Product name not specified"})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.className) + " " + c.args);
    Json::Value doc;
    EXPECT_EQ(-1, Run(c.className, c.args, doc));
    Json::Value expected;
    expected["S"]["M"] = J(c.record);
    EXPECT_EQ(Compact(expected), Compact(doc));  // nothing written at the target
  }
}

TEST_F(ProbesInfoModulesTest, MachineWithoutAdaptersOrMemorySize) {
  Json::Value profile = ProbeLaptopProfile();
  profile["wmi"]["ROOT\\CIMV2"].removeMember("Win32_VideoController");
  profile["wmi"]["ROOT\\CIMV2"].removeMember("Win32_Networkadapter");
  profile.removeMember("memoryKb");
  sim::ScopedMachine machine(profile);
  ScopedSystemInfo record(BuildSystemInfo());
  Json::Value doc;
  for (const char* className : {"GetGPUDriverVersion", "GetPlatformInfo", "GetTotalRAM"})
    EXPECT_EQ(0, Run(className, R"({"saveTo": ".Config"})", doc));
  EXPECT_EQ(R"({"is_single":true})", Compact(doc["Config"]["gpu"]));
  EXPECT_FALSE(doc["Config"]["platform"].isMember("gpu1"));
  EXPECT_EQ("", doc["Config"]["platform"]["mac"].asString());
  EXPECT_EQ("3072", doc["Config"]["platform"]["ram"].asString());
  EXPECT_EQ(Json::Value(3072), doc["Config"]["ram"]);
}

TEST_F(ProbesModulesTest, VtInfoLooksForTheDriverInTheResolvedDirectory) {
  // Windows 7 with an Intel processor whose register says VMX is off: only a driver found in
  // the "directory" argument can tell, a missing one counts as enabled.
  Json::Value profile = J(R"({"name": "win7", "environment": {"SystemRoot": "C:\\Windows"},
      "cpuid": {"0x1": {"ecx": 32}}, "msr": {"0x3A": 1}})");
  sim::ScopedMachine machine(profile);
  // The session folder, for administrators only, with the driver the session brought.
  fs::remove_all(sim::HostPath(L"C:\\probes-vt"));
  uint32_t error = 0;
  ASSERT_TRUE(platform::MakeAdminOnlyDirectory(L"C:\\probes-vt", &error)) << error;
  std::ofstream(sim::HostPath(L"C:\\probes-vt\\quarn_hwio.sys")) << "driver";
  CSystemInfo info;
  info.processorMfr = "GenuineIntel";
  info.osMajor = 6;
  info.osMinor = 1;
  ScopedSystemInfo record(info);
  const auto removeSystemCopy = [] {
    platform::ScopedFsRedirectionOff native;
    std::error_code ignored;
    fs::remove(sim::HostPath(L"C:\\Windows\\system32\\quarn_hwio.sys"), ignored);
  };
  removeSystemCopy();
  testing::internal::CaptureStdout();
  Json::Value doc = J(R"({"SessionDir": "C:\\probes-vt"})");
  EXPECT_EQ(0, Run("GetVTInfo", R"({"saveTo": ".Config", "directory": ".SessionDir"})", doc));
  Json::Value elsewhere;
  EXPECT_EQ(0, Run("GetVTInfo", R"({"saveTo": ".Config", "directory": "C:\\nowhere"})", elsewhere));
  testing::internal::GetCapturedStdout();
  removeSystemCopy();
  fs::remove_all(sim::HostPath(L"C:\\probes-vt"));
  EXPECT_EQ(Compact(J(R"({"supported": true, "enabled": false})")), Compact(doc["Config"]["vt"]));
  // The service made for the first check is still running: the register is read again.
  EXPECT_EQ(Compact(J(R"({"supported": true, "enabled": false})")),
            Compact(elsewhere["Config"]["vt"]));
}

TEST_F(ProbesModulesTest, ProductInfoFindsTheInstalledProductByExactName) {
  sim::ScopedMachine machine(J(R"({"name": "installed", "msiProducts": [
      {"productCode": "{11111111-1111-1111-1111-111111111111}",
       "properties": {"InstalledProductName": "Orvex Helper", "VersionString": "1.0"}},
      {"productCode": "{22222222-2222-2222-2222-222222222222}",
       "properties": {"InstalledProductName": "Orvex", "Publisher": "Quarn",
                      "VersionString": "2.0.6.8063", "VersionMajor": "2", "VersionMinor": "0"}}]})"));
  Json::Value doc;
  EXPECT_EQ(0, Run("GetProductInfo", R"({"saveTo": ".Config", "product": "Orvex"})", doc));
  EXPECT_EQ(Compact(J(R"({"Config": {"product": {"name": "Orvex", "manufacturer": "Quarn",
      "major_version": 2, "minor_version": 0, "version": "2.0.6.8063",
      "sub_minor_version": 6, "build": 8063}}})")),
            Compact(doc));

  // Names compare exactly: no product of that name leaves null and the reason in "error".
  for (const char* name : {"orvex", "Orvex ", "Nothing"}) {
    SCOPED_TRACE(name);
    Json::Value args = J(R"({"saveTo": ".Config"})");
    args["product"] = name;
    Json::Value notFound = J(R"({"Config": {"product": {"old": 1}}})");
    EXPECT_EQ(0, Run("GetProductInfo", Compact(args).c_str(), notFound));
    EXPECT_EQ(Compact(J(R"({"Config": {"product": null},
                            "S": {"M": {"error": "Product not installed"}}})")),
              Compact(notFound));
  }
}

TEST_F(ProbesModulesTest, RightsToDirectory) {
  sim::ScopedMachine machine(J(R"({"name": "rights", "noAccess": ["C:\\Locked"],
                                   "files": {"C:\\Open\\f": "", "C:\\Locked\\f": ""}})"));
  struct Case {
    const char* args;
    int result;
    const char* record;  // null: none
  };
  const std::vector<Case> cases = {
      {R"({"directory": "C:\\Open"})", 0, nullptr},
      {R"({"directory": ".SessionDir"})", 0, nullptr},
      {R"({"directory": "C:\\Locked"})", -1,
       R"({"status": "failed", "reason": "No rights to directory", "error": "NO_DIRECTORY_RIGHTS"})"},
      {R"({"directory": "C:\\Missing"})", -1,
       R"({"status": "failed", "reason": "No rights to directory", "error": "NO_DIRECTORY_RIGHTS"})"},
      {R"({"directory": ".Nowhere"})", -1,
       R"({"status": "failed", "reason": "No rights to directory", "error": "NO_DIRECTORY_RIGHTS"})"},
      {"{}", -1,
       R"({"status": "fatal", "reason": "The directory string is null", "error": "DIRECTORY_PATH_NULL"})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    Json::Value doc = J(R"({"SessionDir": "C:\\Open"})");
    RecordingIndicator indicator;
    EXPECT_EQ(c.result, Run("RightsToDirChecker", c.args, doc, &indicator));
    if (c.record)
      EXPECT_EQ(Compact(J(c.record)), Compact(doc["S"]["M"]));
    else
      EXPECT_FALSE(doc.isMember("S"));
    const bool checked = std::string(c.args) != "{}";
    EXPECT_EQ(checked ? std::vector<std::string>({"detail:Checking rights for directory "})
                      : std::vector<std::string>(),
              indicator.calls);
  }
}

std::vector<bool> g_cancelButtonCalls;
void RecordCancelButton(bool enabled) { g_cancelButtonCalls.push_back(enabled); }

TEST_F(ProbesModulesTest, SystemAccountRightsToTheTemporaryDirectory) {
  struct Case {
    const char* what;
    const char* entries;
    bool passes;
  };
  const std::vector<Case> cases = {
      {"only allow entries", R"([{"type": 0, "mask": 2032127, "sid": "S-1-5-18"}])", true},
      {"deny SYSTEM execute only", R"([{"type": 1, "mask": 32, "sid": "S-1-5-18"}])", true},
      {"deny Everyone", R"([{"type": 1, "mask": 2032127, "sid": "S-1-1-0"}])", true},
      {"deny SYSTEM write data", R"([{"type": 1, "mask": 2, "sid": "S-1-5-18"}])", false},
  };
  SetCancelButtonHook(&RecordCancelButton);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Json::Value profile = J(R"({"name": "temp rights", "environment": {
        "TEMP": "C:\\Users\\john\\AppData\\Local\\Temp", "TMP": "C:\\Users\\john\\AppData\\Local\\Temp"},
        "files": {"C:\\Users\\john\\AppData\\Local\\Temp\\x": ""}})");
    profile["accessLists"]["C:\\Users\\john\\AppData\\Local\\Temp\\"] = J(c.entries);
    sim::ScopedMachine machine(profile);
    CSystemInfo info;
    info.manufacturer = "LENOVO";
    info.model = "20L5";
    ScopedSystemInfo record(info);
    g_cancelButtonCalls.clear();
    const std::size_t urlsBefore = platform::OpenedUrls().size();
    RecordingIndicator indicator;
    Json::Value doc;
    EXPECT_EQ(c.passes ? 0 : -1, Run("SysRightsToTempChecker", "{}", doc, &indicator));
    std::vector<std::string> calls = {"detail:Checking SYSTEM account permission for installation"};
    if (c.passes) {
      EXPECT_TRUE(doc.isNull());
      EXPECT_EQ(calls, indicator.calls);
      EXPECT_EQ(urlsBefore, platform::OpenedUrls().size());
      EXPECT_TRUE(g_cancelButtonCalls.empty());
      continue;
    }
    EXPECT_EQ(
        Compact(J(R"({"status": "failed", "reason": "SYSTEM account don't have enough permission",
                            "error": "INSUFFICIENT_SYSTEM_RIGHTS"})")),
        Compact(doc["S"]["M"]));
    calls.push_back(
        "prompt:Don't have enough permission to install Orvex||Ok|Press Ok to get help|0");
    EXPECT_EQ(calls, indicator.calls);
    const std::vector<std::string> urls = platform::OpenedUrls();
    ASSERT_EQ(urlsBefore + 1, urls.size());
    EXPECT_NE(std::string::npos,
              urls.back().find(
                  "/index/knowledgebase?article=changesystemrights&manufacturer=LENOVO&model=20L5"))
        << urls.back();
    EXPECT_EQ(std::vector<bool>({true}), g_cancelButtonCalls);

    // Without an indicator nobody is asked and nothing is opened.
    g_cancelButtonCalls.clear();
    Json::Value quiet;
    EXPECT_EQ(-1, Run("SysRightsToTempChecker", "{}", quiet));
    EXPECT_EQ("INSUFFICIENT_SYSTEM_RIGHTS", quiet["S"]["M"]["error"].asString());
    EXPECT_EQ(urlsBefore + 1, platform::OpenedUrls().size());
    EXPECT_TRUE(g_cancelButtonCalls.empty());
  }
  SetCancelButtonHook(nullptr);
}

// CreateInTempDir and RemoveDir work in the simulated user's temporary directory.
class ProbesHousekeepingTest : public ProbesModulesTest {
 protected:
  ProbesHousekeepingTest()
      : machine_(J(R"({"name": "housekeeping", "environment": {
            "TEMP": "C:\\Users\\john\\AppData\\Local\\Temp",
            "TMP": "C:\\Users\\john\\AppData\\Local\\Temp"},
            "files": {"C:\\Users\\john\\AppData\\Local\\Temp\\keep.txt": "keep"}})")) {
    fs::remove_all(HostTemp() + "/orvex-probes");
  }
  ~ProbesHousekeepingTest() override { fs::remove_all(HostTemp() + "/orvex-probes"); }
  static std::string HostTemp() { return sim::HostPath(L"C:\\Users\\john\\AppData\\Local\\Temp"); }
  sim::ScopedMachine machine_;
};

TEST_F(ProbesHousekeepingTest, CreateInTempDirStoresThePath) {
  RecordingIndicator indicator;
  Json::Value doc;
  EXPECT_EQ(0, Run("CreateInTempDir", R"({"saveTo": ".SessionDir", "directory": "orvex-probes"})",
                   doc, &indicator));
  EXPECT_EQ("C:\\Users\\john\\AppData\\Local\\Temp\\orvex-probes", doc["SessionDir"].asString());
  EXPECT_TRUE(fs::is_directory(HostTemp() + "/orvex-probes"));
  EXPECT_EQ(std::vector<std::string>(
                {"detail:Creating C:\\Users\\john\\AppData\\Local\\Temp\\orvex-probes"}),
            indicator.calls);

  // The folder is for administrators only.
  EXPECT_TRUE(
      platform::OnlyAdministratorsCanWrite(L"C:\\Users\\john\\AppData\\Local\\Temp\\orvex-probes"));
  EXPECT_FALSE(platform::OnlyAdministratorsCanWrite(L"C:\\Users\\john\\AppData\\Local\\Temp"));
}

// A folder of the name exists already (left over, or made by a user who guessed the name and
// put a program in it): it is never used. A new one is made beside it, with a random suffix
// that differs from run to run, and the old one stays as it was.
TEST_F(ProbesHousekeepingTest, CreateInTempDirNeverUsesAnExistingFolder) {
  fs::create_directories(HostTemp() + "/orvex-probes");
  std::ofstream(HostTemp() + "/orvex-probes/dpinst.exe") << "planted";
  const std::regex suffixed(R"(C:\\Users\\john\\AppData\\Local\\Temp\\orvex-probes-[0-9a-f]{16})");
  std::set<std::string> made;
  for (int run = 0; run < 3; ++run) {
    Json::Value doc = J(R"({"Name": "orvex-probes"})");
    EXPECT_EQ(0, Run("CreateInTempDir", R"({"saveTo": ".Dir", "directory": ".Name"})", doc));
    const std::string path = doc["Dir"].asString();
    EXPECT_TRUE(std::regex_match(path, suffixed)) << path;
    EXPECT_TRUE(fs::is_empty(sim::HostPath(Utf8ToWide(path))));
    EXPECT_TRUE(platform::OnlyAdministratorsCanWrite(Utf8ToWide(path)));
    made.insert(path);
  }
  EXPECT_EQ(3u, made.size());
  EXPECT_EQ("planted", test::ReadFile(HostTemp() + "/orvex-probes/dpinst.exe"));
  EXPECT_FALSE(
      platform::OnlyAdministratorsCanWrite(L"C:\\Users\\john\\AppData\\Local\\Temp\\orvex-probes"));
  for (const std::string& path : made) fs::remove_all(sim::HostPath(Utf8ToWide(path)));
}

// What the session folder holds between download, verification and use cannot be touched by
// the user without elevation: a program swapped in, a DLL planted beside it, the folder renamed
// away and made again.
TEST_F(ProbesHousekeepingTest, SessionFolderRefusesAUserWithoutElevation) {
  Json::Value doc;
  ASSERT_EQ(
      0, Run("CreateInTempDir", R"({"saveTo": ".SessionDir", "directory": "orvex-probes"})", doc));
  const std::wstring session = Utf8ToWide(doc["SessionDir"].asString());
  const std::wstring temp = L"C:\\Users\\john\\AppData\\Local\\Temp";
  // The elevated installer puts its files there.
  uint32_t error = 0;
  platform::ScopedFile verified = platform::OpenForWriting(session + L"\\dpinst.exe", &error);
  ASSERT_NE(nullptr, verified) << error;
  std::fputs("verified", verified.get());
  verified.reset();
  ASSERT_TRUE(platform::MakeDirectory(session + L"\\Graphics", &error)) << error;

  sim::ScopedNonAdministrator user;
  std::ofstream(HostTemp() + "/swap.exe") << "swapped";  // the user's own folder is the user's
  error = 0;
  EXPECT_EQ(nullptr, platform::OpenForWriting(session + L"\\dpinst.exe", &error));
  EXPECT_EQ(platform::kErrorAccessDenied, error);
  error = 0;
  EXPECT_EQ(nullptr, platform::OpenForWriting(session + L"\\Graphics\\version.dll", &error));
  EXPECT_EQ(platform::kErrorAccessDenied, error);
  error = 0;
  EXPECT_FALSE(platform::MakeDirectory(session + L"\\Other", &error));
  EXPECT_EQ(platform::kErrorAccessDenied, error);
  error = 0;
  EXPECT_FALSE(platform::ReplaceWithFile(temp + L"\\swap.exe", session + L"\\dpinst.exe", &error));
  EXPECT_EQ(platform::kErrorAccessDenied, error);
  error = 0;
  EXPECT_FALSE(platform::ReplaceWithFile(session, temp + L"\\moved", &error));
  EXPECT_EQ(platform::kErrorAccessDenied, error);
  EXPECT_FALSE(platform::CopyFileTo(temp + L"\\swap.exe", session + L"\\dpinst.exe", false));
  EXPECT_FALSE(platform::CopyFileTo(temp + L"\\swap.exe", session + L"\\msi.dll", true));
  EXPECT_FALSE(platform::DeleteFileAt(session + L"\\dpinst.exe"));
  EXPECT_FALSE(
      platform::ChangeFileAttributes(session + L"\\dpinst.exe", platform::kFileAttributeReadonly));
  EXPECT_FALSE(platform::RemoveEmptyDirectory(session + L"\\Graphics"));
  platform::PositionedFile file;
  error = 0;
  EXPECT_FALSE(file.Create(session + L"\\dpinst.exe", &error));
  EXPECT_EQ(platform::kErrorAccessDenied, error);
  error = 0;
  EXPECT_FALSE(platform::MakeAdminOnlyDirectory(temp + L"\\mine", &error));
  EXPECT_EQ(platform::kErrorAccessDenied, error);
  EXPECT_EQ("verified", test::ReadFile(sim::HostPath(session + L"\\dpinst.exe")));
  EXPECT_FALSE(fs::exists(sim::HostPath(session + L"\\msi.dll")));
  // Outside the session folder the user still writes as before.
  EXPECT_TRUE(platform::ReplaceWithFile(temp + L"\\swap.exe", temp + L"\\moved.exe", &error));
  fs::remove(HostTemp() + "/moved.exe");
}

// A directory that is missing, not a text or resolves to nothing is the absent argument: with
// "\\*" or "\\name" appended it would name the root of the current drive, and for
// CreateInTempDir the temporary directory itself, which RemoveDir would empty later.
TEST_F(ProbesHousekeepingTest, DirectoriesThatNameNothingAreAbsent) {
  std::ofstream(sim::HostPath(L"C:\\marker.txt")) << "keep";
  struct Module {
    const char* className;
    const char* otherArgs;
    const char* record;
  };
  const char* const absent =
      R"({"status": "fatal", "reason": "The directory string is null", "error": "DIRECTORY_PATH_NULL"})";
  const std::vector<Module> modules = {
      {"RemoveDir", "", absent},
      {"CreateInTempDir", R"("saveTo": ".SessionDir",)", absent},
      {"GetVTInfo", R"("saveTo": ".Config",)", absent},
      {"HTTPDownloader", R"("url": "http://127.0.0.1:1/f", "destination": "f",)",
       R"({"status": "fatal", "reason": "The directory string is null"})"},
  };
  const std::vector<std::string> directories = {
      R"("dir": "C:\\x")",         R"("directory": null)", R"("directory": ".NoSuchPath")",
      R"("directory": ".Number")", R"("directory": 5)",    R"("directory": {})",
      R"("directory": "")",        R"("directory": "  ")"};
  for (const Module& module : modules) {
    for (const std::string& directory : directories) {
      const std::string args = std::string("{") + module.otherArgs + directory + "}";
      SCOPED_TRACE(std::string(module.className) + " " + args);
      Json::Value doc = J(R"({"Number": 5})");
      RecordingIndicator indicator;
      EXPECT_EQ(-1, Run(module.className, args.c_str(), doc, &indicator));
      EXPECT_EQ(Compact(J(module.record)), Compact(doc["S"]["M"]));
      EXPECT_TRUE(indicator.calls.empty());
    }
  }
  EXPECT_TRUE(fs::exists(sim::HostPath(L"C:\\marker.txt")));
  EXPECT_TRUE(fs::exists(HostTemp() + "/keep.txt"));
  fs::remove(sim::HostPath(L"C:\\marker.txt"));
}

TEST_F(ProbesHousekeepingTest, CreateInTempDirFailures) {
  RecordingIndicator indicator;
  Json::Value doc;
  EXPECT_EQ(-1,
            Run("CreateInTempDir", R"({"saveTo": ".SessionDir", "directory": "orvex-probes\\b"})",
                doc, &indicator));
  EXPECT_EQ(Compact(J(R"({"SessionDir": null, "S": {"M": {"error": "DIRECTORY_PATH_NOT_FOUND",
      "status": "failed", "reason": "Not able to create directory - orvex-probes\\b"}}})")),
            Compact(doc));
  EXPECT_EQ(std::vector<std::string>(
                {"detail:Creating C:\\Users\\john\\AppData\\Local\\Temp\\orvex-probes\\b",
                 "prompt:Could not create temp directory.|Ok|||2"}),
            indicator.calls);
  EXPECT_FALSE(fs::exists(HostTemp() + "/orvex-probes"));

  // Directory texts that name no new directory inside the temporary one.
  for (const char* directory : {"..", "a\\..", "a\\..\\..", ". .", "...", "x/.", "C:\\Windows",
                                "C:x", "\\Windows", "/tmp", "\\\\server\\share"}) {
    SCOPED_TRACE(directory);
    Json::Value args;
    args["saveTo"] = ".SessionDir";
    args["directory"] = ".Name";
    Json::Value outside;
    outside["Name"] = directory;
    EXPECT_EQ(-1, Run("CreateInTempDir", StyledJson(args).c_str(), outside));
    Json::Value expected;
    expected["status"] = "failed";
    expected["reason"] = std::string("Not able to create directory - ") + directory;
    expected["error"] = "CREATE_DIRECTORY_FAILED";
    EXPECT_EQ(Compact(expected), Compact(outside["S"]["M"]));
    EXPECT_TRUE(outside["SessionDir"].isNull());
  }

  for (const char* args : {R"({"directory": "x"})", R"({"saveTo": null})"}) {
    SCOPED_TRACE(args);
    Json::Value missing;
    EXPECT_EQ(-1, Run("CreateInTempDir", args, missing));
    EXPECT_EQ(Compact(J(R"({"S": {"M": {"status": "fatal", "reason": "There is no saveTo path",
                                         "error": "NO_SAVETO_PATH"}}})")),
              Compact(missing));
  }
}

TEST_F(ProbesHousekeepingTest, RemoveDirDeletesNestedTreesWithReadOnlyFiles) {
  const std::string root = HostTemp() + "/orvex-probes";
  fs::create_directories(root + "/a/b/c");
  fs::create_directories(root + "/empty");
  for (const char* file : {"/top", "/a/one", "/a/b/two", "/a/b/c/three"})
    std::ofstream(root + file) << file;
  for (const char* file : {"/top", "/a/b/c/three"})
    fs::permissions(root + file,
                    fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
  RecordingIndicator indicator;
  Json::Value doc = J(R"({"SessionDir": "C:\\Users\\john\\AppData\\Local\\Temp\\orvex-probes"})");
  EXPECT_EQ(0, Run("RemoveDir", R"({"directory": ".SessionDir"})", doc, &indicator));
  EXPECT_FALSE(fs::exists(root));
  EXPECT_TRUE(fs::exists(HostTemp() + "/keep.txt"));
  EXPECT_FALSE(doc.isMember("S"));
  EXPECT_EQ(std::vector<std::string>({"detail:Removing temp directory "}), indicator.calls);
}

TEST_F(ProbesHousekeepingTest, RemoveDirFailures) {
  Json::Value doc;
  EXPECT_EQ(-1,
            Run("RemoveDir",
                R"({"directory": "C:\\Users\\john\\AppData\\Local\\Temp\\orvex-probes"})", doc));
  EXPECT_EQ(
      Compact(
          J(R"({"S": {"M": {"status": "failed", "reason": "Remove Directory Action Failed "}}})")),
      Compact(doc));
  Json::Value missing;
  EXPECT_EQ(-1, Run("RemoveDir", "{}", missing));
  EXPECT_EQ(Compact(J(R"({"S": {"M": {"status": "fatal", "reason": "The directory string is null",
                                       "error": "DIRECTORY_PATH_NULL"}}})")),
            Compact(missing));
}

TEST_F(ProbesModulesTest, RestartRefusedIsRecorded) {
  sim::ScopedMachine machine(J(R"({"name": "no restart", "restartAccepted": false})"));
  Json::Value doc;
  EXPECT_EQ(-1, Run("RestartSystem", "{}", doc));
  EXPECT_EQ(
      Compact(J(R"({"S": {"M": {"status": "failed", "reason": "Unable to Reboot the System "}}})")),
      Compact(doc));
}

TEST_F(ProbesModulesTest, RestartAcceptedEndsTheProcessWithZero) {
  ::testing::GTEST_FLAG(death_test_style) = "threadsafe";
  sim::ScopedMachine machine(J(R"({"name": "restart", "restartAccepted": true})"));
  EXPECT_EXIT(
      {
        Json::Value doc;
        Run("RestartSystem", "{}", doc);
        std::fprintf(stderr, "still running");
        std::_Exit(3);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace orvex
