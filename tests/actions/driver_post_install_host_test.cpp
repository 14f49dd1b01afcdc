// DPInstaller, InstallDOTNET and PostInstall on the simulated machine: real zip archives made
// by the test, programs recorded in the machine's state with the exit codes the profile gives,
// files in the sandbox, registry writes in the state.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "actions/post_install.h"
#include "actions/zip_extract.h"
#include "base/json_text.h"
#include "base/text.h"
#include "common/session_cells.h"
#include "engine/install_plan.h"
#include "engine/stage.h"
#include "engine/value_path.h"
#include "platform/sim/machine.h"
#include "probes/desktop_backup.h"
#include "probes/install_paths.h"
#include "tests/support/sim_test_support.h"
#include "tests/support/test_support.h"
#include "tests/support/user_folder_run.h"

namespace orvex {
namespace {

namespace fs = std::filesystem;
using test::Compact;
using test::J;
using test::RecordingIndicator;

const char kSession[] = "C:\\Users\\John Smith\\AppData\\Local\\Temp\\orvex session";

std::string Host(const std::string& windowsPath) { return sim::HostPath(Utf8ToWide(windowsPath)); }

// Every file and folder below root, as paths relative to it.
std::set<std::string> TreeOf(const std::string& root) {
  std::set<std::string> names;
  std::error_code ignored;
  for (auto it = fs::recursive_directory_iterator(root, ignored);
       it != fs::recursive_directory_iterator(); it.increment(ignored))
    names.insert(fs::relative(it->path(), root, ignored).string());
  return names;
}

std::vector<bool> g_cancelCalls;
void RecordCancel(bool enabled) { g_cancelCalls.push_back(enabled); }

Json::Value Profile(const char* programs = "{}") {
  Json::Value profile = J(R"({"name": "driver machine", "environment": {
      "SystemDrive": "C:", "SystemRoot": "C:\\Windows", "USERNAME": "John Smith",
      "USERPROFILE": "C:\\Users\\John Smith",
      "TEMP": "C:\\Users\\John Smith\\AppData\\Local\\Temp"}})");
  profile["programs"] = J(programs);
  return profile;
}

class DriverPostInstallTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/orvex-driver-zips-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    zips_ = new std::string(pattern);
    const std::string command = "python3 '" + std::string(ORVEX_SOURCE_DIR) +
                                "/tests/fixtures/make_driver_zips.py' '" + *zips_ + "'";
    ASSERT_EQ(0, std::system(command.c_str()));
  }
  static void TearDownTestSuite() {
    std::error_code ignored;
    fs::remove_all(*zips_, ignored);
    delete zips_;
  }

  void SetUp() override {
    SetCancelButtonHook(&RecordCancel);
    g_cancelCalls.clear();
  }
  void TearDown() override { SetCancelButtonHook(nullptr); }

  // A fresh session directory holding the archive as gpudriver.zip and, unless told
  // otherwise, a dpinst.exe.
  void PrepareSession(const std::string& archive, bool withDpinst = true) {
    std::error_code ignored;
    fs::remove_all(Host(kSession), ignored);
    fs::create_directories(Host(kSession));
    if (!archive.empty())
      fs::copy_file(*zips_ + "/" + archive, Host(std::string(kSession) + "\\gpudriver.zip"));
    if (withDpinst) std::ofstream(Host(std::string(kSession) + "\\dpinst.exe")) << "MZ";
  }

  int Run(const char* className, const std::string& args, Json::Value& doc,
          IProgressIndicator* indicator = nullptr) {
    auto module = test::MakeRegisteredModule(className, args, stage_, indicator);
    if (!module) return 99;
    module->Init(&plan_, &stage_);
    return module->Execute(doc);
  }

  static std::string* zips_;
  CInstallPlan plan_;
  CStage stage_{"S"};
};

std::string* DriverPostInstallTest::zips_ = nullptr;

const char kDriverArgs[] = R"({"dpinst_dir": ".SessionDir", "src_dir": ".SessionDir",
    "src_file": "gpudriver.zip", "dest_dir": ".SessionDir", "dir_suffix": "Graphics",
    "is_restart": ".InstallConfig.installer.restart"})";

TEST_F(DriverPostInstallTest, ExtractZipWritesOnlyBelowTheDestination) {
  sim::ScopedMachine machine(Profile());
  struct Case {
    const char* archive;
    bool unpacked;
    std::set<std::string> files;  // below the destination afterwards
  };
  const std::set<std::string> nothing;
  const std::vector<Case> cases = {
      {"driver.zip",
       true,
       {"readme.txt", "Graphics", "Graphics/audio.inf", "Graphics/display.inf", "Graphics/bin",
        "Graphics/bin/display.sys"}},
      {"empty.zip", true, nothing},
      {"climb-parent.zip", false, nothing},
      {"climb-deep.zip", false, nothing},
      {"climb-backslash.zip", false, nothing},
      {"climb-dots-blanks.zip", false, nothing},
      {"absolute-slash.zip", false, nothing},
      {"absolute-backslash.zip", false, nothing},
      {"unc.zip", false, nothing},
      {"drive-absolute.zip", false, nothing},
      {"drive-relative.zip", false, nothing},
      {"stream.zip", false, nothing},
      {"link.zip", false, nothing},
      {"large.zip",
       true,
       {"Graphics", "Graphics/display.inf", "Graphics/bin", "Graphics/bin/large.bin"}},
      {"truncated.zip", false, nothing},
      {"not-a-zip.zip", false, nothing},
      {"missing.zip", false, nothing},
  };
  const std::string dest = std::string(kSession) + "\\dest";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    PrepareSession("", false);
    fs::create_directories(Host(dest));
    std::error_code ignored;
    fs::copy_file(*zips_ + "/" + c.archive, Host(std::string(kSession) + "\\a.zip"), ignored);
    const std::set<std::string> before = TreeOf(sim::SandboxRoot());
    EXPECT_EQ(c.unpacked, ExtractZip(std::string(kSession) + "\\a.zip", dest));
    EXPECT_EQ(c.files, TreeOf(Host(dest)));
    std::set<std::string> added;
    for (const std::string& name : TreeOf(sim::SandboxRoot()))
      if (!before.count(name)) added.insert(name);
    for (const std::string& name : added) {
      EXPECT_EQ(0u, name.rfind(fs::relative(Host(dest), sim::SandboxRoot()).string(), 0)) << name;
    }
    EXPECT_FALSE(fs::exists("/tmp/orvex-zip-escaped.txt"));
    if (c.files.count("readme.txt")) {
      EXPECT_EQ("MZ driver", test::ReadFile(Host(dest + "\\Graphics\\bin\\display.sys")));
    }
  }
  // No destination, or none that exists: nothing is unpacked.
  PrepareSession("driver.zip");
  EXPECT_FALSE(ExtractZip(std::string(kSession) + "\\gpudriver.zip", ""));
  EXPECT_FALSE(
      ExtractZip(std::string(kSession) + "\\gpudriver.zip", std::string(kSession) + "\\none"));
  EXPECT_FALSE(fs::exists(Host(std::string(kSession) + "\\none")));
}

TEST_F(DriverPostInstallTest, DPInstallerDecidesByTheExitCode) {
  struct Case {
    const char* what;
    const char* archive;
    const char* programs;
    bool withDpinst;
    int result;
    const char* restart;  // JSON at .InstallConfig.installer.restart
    bool started;
    const char* error;  // SESSION stands for the session folder
  };
  const std::vector<Case> cases = {
      {"installed, restart needed", "driver.zip", R"({"dpinst.exe": {"exitCode": "0x40000001"}})",
       true, 0, "true", true, ""},
      {"installed", "driver.zip", R"({"DPINST.EXE": {"exitCode": 2}})", true, 0, "false", true, ""},
      {"only copied to the store", "driver.zip", R"({"dpinst.exe": {"exitCode": 256}})", true, -1,
       "null", true,
       "dpinst.exe ended with exit code 0x00000100: 0 driver packages installed, 1 only copied "
       "to the driver store, 0 could not be installed"},
      {"a package failed", "driver.zip", R"({"dpinst.exe": {"exitCode": "0x80000001"}})", true, -1,
       "null", true,
       "dpinst.exe ended with exit code 0x80000001: 1 driver packages installed, 0 only copied "
       "to the driver store, 0 could not be installed, a package failed"},
      {"no exit code in the profile", "driver.zip", "{}", true, -1, "null", true,
       "dpinst.exe ended with exit code 0x00000000: 0 driver packages installed, 0 only copied "
       "to the driver store, 0 could not be installed"},
      {"a profile entry that is no object", "driver.zip", R"({"dpinst.exe": 1})", true, -1, "null",
       true,
       "dpinst.exe ended with exit code 0x00000000: 0 driver packages installed, 0 only copied "
       "to the driver store, 0 could not be installed"},
      {"flags that are no booleans", "driver.zip",
       R"({"dpinst.exe": {"exitCode": 1, "waitFails": "yes"}})", true, 0, "false", true, ""},
      {"the wait fails", "driver.zip", R"({"dpinst.exe": {"exitCode": 1, "waitFails": true}})",
       true, -1, "null", true,
       "SESSION\\dpinst.exe was started but its end could not be waited for"},
      {"the exit code cannot be read", "driver.zip",
       R"({"dpinst.exe": {"exitCode": 1, "exitCodeFails": true}})", true, -1, "null", true,
       "SESSION\\dpinst.exe was started but its end could not be waited for"},
      {"dpinst cannot start", "driver.zip", R"({"dpinst.exe": {"exitCode": 1, "startError": 5}})",
       true, -1, "null", false, "SESSION\\dpinst.exe could not be started (Windows error 5)"},
      {"no dpinst.exe", "driver.zip", R"({"dpinst.exe": {"exitCode": 1}})", false, -1, "null",
       false, "SESSION\\dpinst.exe could not be started (Windows error 2)"},
      {"a climbing archive", "climb-parent.zip", R"({"dpinst.exe": {"exitCode": 1}})", true, -1,
       "null", false,
       "The driver archive SESSION\\gpudriver.zip could not be unpacked into SESSION"},
      {"no archive", "", R"({"dpinst.exe": {"exitCode": 1}})", true, -1, "null", false,
       "The driver archive SESSION\\gpudriver.zip could not be unpacked into SESSION"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::ScopedMachine machine(Profile(c.programs));
    PrepareSession(c.archive, c.withDpinst);
    g_cancelCalls.clear();
    RecordingIndicator indicator;
    Json::Value doc;
    doc["SessionDir"] = kSession;
    EXPECT_EQ(c.result, Run("DPInstaller", kDriverArgs, doc, &indicator));
    EXPECT_EQ(Compact(J(c.restart)), Compact(doc["InstallConfig"]["installer"]["restart"]));
    const std::string archive = std::string(kSession) + "\\gpudriver.zip";
    std::vector<std::string> calls = {"detail:DP Installing " + archive};
    if (c.result == 0) {
      EXPECT_FALSE(doc.isMember("S"));
    } else {
      EXPECT_EQ("failed", doc["S"]["M"]["status"].asString());
      EXPECT_EQ("Unable to install " + archive, doc["S"]["M"]["reason"].asString());
      std::string error = c.error;
      for (std::size_t at; (at = error.find("SESSION")) != std::string::npos;)
        error.replace(at, 7, kSession);
      EXPECT_EQ(error, doc["S"]["M"]["error"].asString());
      calls.push_back("prompt:Could not install driver.|Ok||Please try again later.|2");
    }
    EXPECT_EQ(calls, indicator.calls);
    EXPECT_EQ(std::vector<bool>({false, true}), g_cancelCalls);
    const Json::Value started = sim::MachineState()["startedPrograms"];
    if (!c.started) {
      EXPECT_EQ(0u, started.size());
      continue;
    }
    ASSERT_EQ(1u, started.size());
    EXPECT_EQ("\"" + std::string(kSession) + "\\dpinst.exe\"", started[0]["file"].asString());
    EXPECT_EQ("/F /LM /Q /PATH \"" + std::string(kSession) + "\\Graphics\"",
              started[0]["parameters"].asString());
    EXPECT_EQ(3, started[0]["show"].asInt());
    EXPECT_TRUE(fs::exists(Host(std::string(kSession) + "\\Graphics\\display.inf")));
  }
}

TEST_F(DriverPostInstallTest, DPInstallerWithoutUsablePaths) {
  sim::ScopedMachine machine(Profile(R"({"dpinst.exe": {"exitCode": 1}})"));
  struct Case {
    const char* what;
    const char* args;
    const char* doc;  // afterwards, without the result record
    int result;
  };
  const std::vector<Case> cases = {
      {"restart flag stored nowhere without is_restart",
       R"({"dpinst_dir": ".SessionDir", "src_dir": ".SessionDir", "src_file": "gpudriver.zip",
           "dest_dir": ".SessionDir", "dir_suffix": "Graphics"})",
       R"({"SessionDir": "C:\\Users\\John Smith\\AppData\\Local\\Temp\\orvex session"})", 0},
      {"an empty is_restart replaces nothing",
       R"({"dpinst_dir": ".SessionDir", "src_dir": ".SessionDir", "src_file": "gpudriver.zip",
           "dest_dir": ".SessionDir", "dir_suffix": "Graphics", "is_restart": ""})",
       R"({"SessionDir": "C:\\Users\\John Smith\\AppData\\Local\\Temp\\orvex session"})", 0},
      {"a dest_dir path that does not exist",
       R"({"dpinst_dir": ".SessionDir", "src_dir": ".SessionDir", "src_file": "gpudriver.zip",
           "dest_dir": ".Nowhere", "dir_suffix": "Graphics", "is_restart": ".r"})",
       R"({"SessionDir": "C:\\Users\\John Smith\\AppData\\Local\\Temp\\orvex session",
           "Nowhere": null, "r": null})",
       -1},
      {"an empty dir_suffix",
       R"({"dpinst_dir": ".SessionDir", "src_dir": ".SessionDir", "src_file": "gpudriver.zip",
           "dest_dir": ".SessionDir", "dir_suffix": "", "is_restart": ".r"})",
       R"({"SessionDir": "C:\\Users\\John Smith\\AppData\\Local\\Temp\\orvex session", "r": null})",
       -1},
      {"an is_restart without steps",
       R"({"dpinst_dir": ".SessionDir", "src_dir": ".SessionDir", "src_file": "gpudriver.zip",
           "dest_dir": ".SessionDir", "dir_suffix": "Graphics", "is_restart": ".."})",
       R"({"SessionDir": "C:\\Users\\John Smith\\AppData\\Local\\Temp\\orvex session"})", 0},
      {"no arguments at all", "{}",
       R"({"SessionDir": "C:\\Users\\John Smith\\AppData\\Local\\Temp\\orvex session"})", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::ScopedMachine fresh(Profile(R"({"dpinst.exe": {"exitCode": 1}})"));
    PrepareSession("driver.zip");
    Json::Value doc;
    doc["SessionDir"] = kSession;
    EXPECT_EQ(c.result, Run("DPInstaller", c.args, doc));
    EXPECT_EQ(c.result == 0 ? 1u : 0u, sim::MachineState()["startedPrograms"].size());
    doc.removeMember("S");
    EXPECT_EQ(Compact(J(c.doc)), Compact(doc));
  }
}

// A dpinst that never exits: the wait runs out after the limit ("timeout_seconds", 30 minutes
// by default), the module fails with that text and the usual prompt, and Cancel comes back.
TEST_F(DriverPostInstallTest, DPInstallerGivesUpOnADpinstThatNeverExits) {
  struct Case {
    const char* limit;  // "timeout_seconds" as JSON, "" for none
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"", "dpinst.exe did not finish within 30 minutes; it was left running"},
      {"90", "dpinst.exe did not finish within 90 seconds; it was left running"},
      {"0.25", "dpinst.exe did not finish within 0.25 seconds; it was left running"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.limit);
    sim::ScopedMachine machine(Profile(R"({"dpinst.exe": {"neverExits": true}})"));
    PrepareSession("driver-restart.zip");
    g_cancelCalls.clear();
    Json::Value args = J(kDriverArgs);
    if (*c.limit) args["timeout_seconds"] = J(c.limit);
    RecordingIndicator indicator;
    Json::Value doc;
    doc["SessionDir"] = kSession;
    EXPECT_EQ(-1, Run("DPInstaller", Compact(args), doc, &indicator));
    EXPECT_EQ(Compact(J(R"({"status": "failed", "reason": ")" + std::string(c.reason) +
                        R"(", "error": "PROGRAM_TIMEOUT"})")),
              Compact(doc["S"]["M"]));
    // A code read now would be STILL_ACTIVE (0x103): "3 packages installed, no restart".
    EXPECT_TRUE(doc["InstallConfig"]["installer"]["restart"].isNull());
    EXPECT_EQ(std::vector<std::string>(
                  {"detail:DP Installing " + std::string(kSession) + "\\gpudriver.zip",
                   "prompt:Could not install driver.|Ok||Please try again later.|2"}),
              indicator.calls);
    EXPECT_EQ(std::vector<bool>({false, true}), g_cancelCalls);
    EXPECT_EQ(1u, sim::MachineState()["startedPrograms"].size());
  }
}

// A limit that is no number of seconds above 0 is a configuration error: nothing is unpacked
// or started, and Cancel is not touched.
TEST_F(DriverPostInstallTest, AnInvalidTimeLimitIsAConfigurationError) {
  for (const char* limit : {R"("60")", "0", "-1", "true", "[30]", "{}", "1e12"}) {
    for (const char* module : {"DPInstaller", "PostInstall"}) {
      SCOPED_TRACE(std::string(module) + " with " + limit);
      sim::ScopedMachine machine(Profile(R"({"dpinst.exe": {"exitCode": 1}})"));
      PrepareSession("driver.zip");
      const CInstallPaths saved = GetInstallPaths();
      GetInstallPaths().installDir = "C:\\Program Files\\Quarn\\Orvex";
      g_cancelCalls.clear();
      Json::Value args = J(std::string(module) == "DPInstaller" ? kDriverArgs : "{}");
      args["timeout_seconds"] = J(limit);
      RecordingIndicator indicator;
      Json::Value doc;
      doc["SessionDir"] = kSession;
      EXPECT_EQ(-1, Run(module, Compact(args), doc, &indicator));
      EXPECT_EQ(Compact(J(R"({"status": "fatal", "error": "INVALID_TIMEOUT", "reason":
          "The argument \"timeout_seconds\" must be a number of seconds above 0 and at most 4294967"})")),
                Compact(doc["S"]["M"]));
      EXPECT_TRUE(indicator.calls.empty());
      EXPECT_TRUE(g_cancelCalls.empty());
      EXPECT_EQ(0u, sim::MachineState()["startedPrograms"].size());
      EXPECT_EQ(0u, sim::MachineState()["registryWrites"].size());
      EXPECT_FALSE(fs::exists(Host(std::string(kSession) + "\\Graphics")));
      GetInstallPaths() = saved;
    }
  }
}

// "is_restart" names where the flag goes; the running stage's record, its status, this
// module's record and places inside a text are refused before dpinst runs, as every writer
// into the document refuses them. A member inside the module's record is a place like others.
TEST_F(DriverPostInstallTest, DPInstallerRefusesARestartFlagOverTheRunRecords) {
  struct Case {
    const char* isRestart;
    int result;
  };
  const std::vector<Case> cases = {
      {".S", -1},
      {".S.status", -1},
      {".S.M", -1},
      {".SessionDir.flag", -1},
      {".S.status.progress", 0},
      {".S.M.restart", 0},
      {".InstallConfig.installer.restart", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.isRestart);
    sim::ScopedMachine machine(Profile(R"({"dpinst.exe": {"exitCode": "0x40000001"}})"));
    PrepareSession("driver.zip");
    Json::Value doc = J(R"({"S": {"status": {"progress": "started"}}})");
    doc["SessionDir"] = kSession;
    Json::Value args = J(kDriverArgs);
    args["is_restart"] = c.isRestart;
    EXPECT_EQ(c.result, Run("DPInstaller", Compact(args), doc));
    // The stage's own writes still find objects where they write.
    ASSERT_TRUE(doc["S"].isObject());
    ASSERT_TRUE(doc["S"]["status"].isObject());
    ASSERT_TRUE(FindPath(doc, ".S.M").isObject() || FindPath(doc, ".S.M").isNull());
    if (c.result == 0) {
      EXPECT_EQ("true", Compact(FindPath(doc, c.isRestart)));
      EXPECT_EQ(1u, sim::MachineState()["startedPrograms"].size());
      continue;
    }
    EXPECT_EQ("failed", doc["S"]["M"]["status"].asString());
    EXPECT_EQ(std::string("Not able to store a value at ") + c.isRestart,
              doc["S"]["M"]["reason"].asString());
    EXPECT_EQ("PATH_NOT_WRITABLE", doc["S"]["M"]["error"].asString());
    EXPECT_EQ("started", doc["S"]["status"]["progress"].asString());
    EXPECT_EQ(kSession, doc["SessionDir"].asString());
    EXPECT_EQ(0u, sim::MachineState()["startedPrograms"].size());
    EXPECT_FALSE(fs::exists(Host(std::string(kSession) + "\\Graphics")));
  }
}

TEST_F(DriverPostInstallTest, InstallDOTNETStartsTheSetupAndEndsTheInstallation) {
  sim::ScopedMachine machine(Profile());
  PrepareSession("");
  std::ofstream(Host(std::string(kSession) + "\\dotnet_setup.exe")) << "MZ";
  Json::Value doc;
  doc["SessionDir"] = kSession;
  EXPECT_EQ(-1, Run("InstallDOTNET", "{}", doc));
  EXPECT_EQ("Run this installer after .NET installation is complete", plan_.abortMessage);
  EXPECT_FALSE(doc.isMember("S"));
  const Json::Value started = sim::MachineState()["startedPrograms"];
  ASSERT_EQ(1u, started.size());
  EXPECT_EQ("\"" + std::string(kSession) + "\\dotnet_setup.exe\"", started[0]["file"].asString());
  EXPECT_EQ("", started[0]["parameters"].asString());
  EXPECT_EQ(3, started[0]["show"].asInt());
}

TEST_F(DriverPostInstallTest, InstallDOTNETThatCannotStartSaysSo) {
  for (const char* sessionDir : std::vector<const char*>{kSession, "", nullptr}) {
    SCOPED_TRACE(sessionDir ? sessionDir : "(none)");
    sim::ScopedMachine machine(Profile());
    PrepareSession("");  // no dotnet_setup.exe
    plan_.abortMessage.clear();
    Json::Value doc(Json::objectValue);
    if (sessionDir) doc["SessionDir"] = sessionDir;
    EXPECT_EQ(-1, Run("InstallDOTNET", "{}", doc));
    EXPECT_EQ("", plan_.abortMessage);
    EXPECT_EQ("failed", doc["S"]["M"]["status"].asString());
    EXPECT_EQ("Unable to start " + std::string(sessionDir ? sessionDir : "") + "\\dotnet_setup.exe",
              doc["S"]["M"]["reason"].asString());
    EXPECT_EQ(0u, sim::MachineState()["startedPrograms"].size());
  }
}

class PostInstallHostTest : public DriverPostInstallTest {
 protected:
  void SetUp() override {
    DriverPostInstallTest::SetUp();
    saved_ = GetInstallPaths();
    // The sandbox lives as long as the test process: no folder of an earlier test may remain.
    std::error_code ignored;
    fs::remove_all(Host("C:\\Users\\Public"), ignored);
    fs::remove_all(Host("C:\\ProgramData\\Quarn"), ignored);
  }
  void TearDown() override {
    GetInstallPaths() = saved_;
    DriverPostInstallTest::TearDown();
  }
  CInstallPaths saved_;
};

const char kInstallDir[] = "C:\\Program Files\\Quarn\\Orvex";
const char kUserDataDir[] = "C:\\ProgramData\\Quarn\\Orvex";

TEST_F(PostInstallHostTest, ScriptsRegistryDesktopAndConfigXml) {
  sim::ScopedMachine machine(Profile());
  PrepareSession("");
  GetInstallPaths().installDir = kInstallDir;
  GetInstallPaths().userDataDir = kUserDataDir;
  fs::create_directories(Host(std::string(kUserDataDir) + "\\config"));
  const std::string backup = std::string(kSession) + "\\desktop_backup";
  const std::string desktop = "C:\\Users\\Public\\Desktop";
  // The version check backs the desktop up; the old product's removal changes it.
  fs::create_directories(Host(desktop));
  std::ofstream(Host(desktop + "\\Orvex.lnk")) << "new link";
  std::ofstream(Host(desktop + "\\Apps.lnk")) << "backup apps";
  ASSERT_TRUE(BackUpPublicDesktop(Utf8ToWide(kSession)));
  fs::create_directories(Host(backup + "\\folder"));
  fs::remove(Host(desktop + "\\Orvex.lnk"));
  std::ofstream(Host(desktop + "\\Apps.lnk")) << "desktop apps";

  RecordingIndicator indicator;
  Json::Value doc = J(R"({"InstallConfig": {"system": {"cpus": 8},
      "devices": {"camera": "on", "sensor": "a & b", "gps": "fix\u0001\u001bed",
                  "generic": "Home <5 GHz>"}}})");
  doc["SessionDir"] = kSession;
  const Json::Value before = doc;
  EXPECT_EQ(0, Run("PostInstall", "{}", doc, &indicator));
  EXPECT_EQ(Compact(before), Compact(doc));
  EXPECT_EQ(std::vector<std::string>({"status:Finalizing installation ..."}), indicator.calls);
  EXPECT_EQ(std::vector<bool>({false, true}), g_cancelCalls);

  const Json::Value state = sim::MachineState();
  EXPECT_EQ(Compact(J(R"([
      {"file": "\"C:\\Windows\\system32\\cmd.exe\"", "show": 0, "parameters":
       "/c \"\"C:\\Program Files\\Quarn\\Orvex\\install_ics.bat\" \"C:\\Program Files\\Quarn\\Orvex\" \"Quarn\" \"Orvex\"\""},
      {"file": "\"C:\\Windows\\system32\\cmd.exe\"", "show": 0, "parameters":
       "/c \"\"C:\\Program Files\\Quarn\\Orvex\\copy_vbox_config.bat\" \"C:\\ProgramData\\Quarn\\Orvexorvexvm\"\""}])")),
            Compact(state["startedPrograms"]));
  EXPECT_EQ(Compact(J(R"([
      {"key": "Software\\Quarn\\Orvex", "name": "SendCrashReport", "value": {"dword": 1}},
      {"key": "Software\\Quarn\\Orvex", "name": "PromoterReferred", "value": ""}])")),
            Compact(state["registryWrites"]));

  EXPECT_EQ("new link", test::ReadFile(Host(desktop + "\\Orvex.lnk")));
  EXPECT_EQ("desktop apps", test::ReadFile(Host(desktop + "\\Apps.lnk")));
  EXPECT_EQ(std::set<std::string>({"folder"}), TreeOf(Host(backup)));

  EXPECT_EQ(test::ReadFile(std::string(ORVEX_SOURCE_DIR) + "/tests/fixtures/config-expected.xml"),
            test::ReadFile(Host(std::string(kUserDataDir) + "\\config\\config.xml")));
}

// A step that did not happen fails the module with the first failure (its code as "error",
// what happened as "reason"), after every other step ran: the report then names it instead of
// "INSTALLED".
TEST_F(PostInstallHostTest, StepsThatDidNotHappenFailTheModule) {
  const std::string configXml = std::string(kUserDataDir) + "\\config\\config.xml";
  struct Case {
    const char* what;
    const char* installDir;
    const char* userDataDir;
    bool configFolder;
    const char* programs;
    const char* error;  // "" for success
    const char* reason;
    std::size_t started;
  };
  const std::vector<Case> cases = {
      {"everything in place", kInstallDir, kUserDataDir, true, "{}", "", "", 2},
      {"a script ends with a non-zero code", kInstallDir, kUserDataDir, true,
       R"({"cmd.exe": {"exitCode": 1}})", "POST_INSTALL_SCRIPT_FAILED",
       "install_ics.bat ended with exit code 1", 2},
      {"cmd.exe cannot start", kInstallDir, kUserDataDir, true, R"({"CMD.EXE": {"startError": 2}})",
       "POST_INSTALL_SCRIPT_FAILED", "install_ics.bat could not be started (Windows error 2)", 0},
      {"the end of a script cannot be waited for", kInstallDir, kUserDataDir, true,
       R"({"cmd.exe": {"waitFails": true}})", "POST_INSTALL_SCRIPT_FAILED",
       "install_ics.bat was started but its end could not be waited for", 2},
      {"no exit code", kInstallDir, kUserDataDir, true, R"({"cmd.exe": {"exitCodeFails": true}})",
       "POST_INSTALL_SCRIPT_FAILED",
       "install_ics.bat was started but its end could not be waited for", 2},
      {"no config folder", kInstallDir, kUserDataDir, false, "{}", "CONFIG_XML_NOT_WRITTEN",
       "config.xml could not be written to C:\\ProgramData\\Quarn\\Orvex\\config\\config.xml", 2},
      {"no installation directory recorded", "", kUserDataDir, true, "{}", "INSTALL_DIR_UNKNOWN",
       "The installation directory is not recorded under HKLM\\Software\\Quarn\\Orvex "
       "(InstallDir)",
       0},
      {"no user-data directory recorded", kInstallDir, "", true, "{}", "USER_DATA_DIR_UNKNOWN",
       "The user-data directory is not recorded under HKLM\\Software\\Quarn\\Orvex "
       "(UserDataDir)",
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    sim::ScopedMachine machine(Profile(c.programs));
    PrepareSession("");
    std::error_code ignored;
    fs::remove_all(Host("C:\\ProgramData\\Quarn"), ignored);
    if (c.configFolder) fs::create_directories(Host(std::string(kUserDataDir) + "\\config"));
    GetInstallPaths().installDir = c.installDir;
    GetInstallPaths().userDataDir = c.userDataDir;
    g_cancelCalls.clear();
    RecordingIndicator indicator;
    Json::Value doc;
    doc["SessionDir"] = kSession;
    const bool fails = *c.error != '\0';
    EXPECT_EQ(fails ? -1 : 0, Run("PostInstall", "{}", doc, &indicator));
    std::vector<std::string> calls = {"status:Finalizing installation ..."};
    if (fails) {
      EXPECT_EQ("failed", doc["S"]["M"]["status"].asString());
      EXPECT_EQ(c.reason, doc["S"]["M"]["reason"].asString());
      EXPECT_EQ(c.error, doc["S"]["M"]["error"].asString());
      calls.push_back(std::string("prompt:Could not finish the installation of Orvex.|Ok||") +
                      c.reason + "|2");
    } else {
      EXPECT_FALSE(doc.isMember("S"));
    }
    EXPECT_EQ(calls, indicator.calls);
    EXPECT_EQ(std::vector<bool>({false, true}), g_cancelCalls);
    // The later steps ran all the same.
    EXPECT_EQ(c.started, sim::MachineState()["startedPrograms"].size());
    EXPECT_EQ(2u, sim::MachineState()["registryWrites"].size());
    EXPECT_EQ(c.configFolder && *c.userDataDir != '\0', fs::exists(Host(configXml)));
  }
}

// The folders come from the registry and reach cmd.exe inside quotes. What cmd.exe would
// still read there (a quote that closes them, "%" and "!" that expand, a line break or NUL
// that ends the command) fails the module and no script runs; the registry values and
// config.xml are still written. What is plain text inside quotes passes.
TEST_F(PostInstallHostTest, FoldersCmdWouldReadAsCommandsAreRefused) {
  struct Case {
    std::string installDir;
    std::string userDataDir;
    bool refused;
  };
  const std::string data = kUserDataDir;
  const std::vector<Case> cases = {
      {"C:\\x\" & del /q C:\\* & \"", data, true},
      {"C:\\Program Files\\Quarn\\Orvex", "C:\\x\" & rd /s /q C:\\ & \"", true},
      {"C:\\Orvex %PATH%", data, true},
      {"C:\\Orvex %", data, true},
      {"C:\\Orvex!USERNAME!", data, true},
      {"C:\\Orvex\r\ncalc.exe", data, true},
      {"C:\\Orvex\ncalc.exe", data, true},
      {std::string("C:\\Orvex\0calc.exe", 16), data, true},
      {"C:\\Orvex\tdir", data, true},
      {"C:\\Program Files (x86)\\Tom & Jerry ^ <1> | 2", data, false},
      {"C:\\Program Files\\Quarn\\Orvex", "C:\\Data (x86) & more^", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.installDir + " | " + c.userDataDir);
    sim::ScopedMachine machine(Profile());
    PrepareSession("");
    fs::create_directories(Host(data + "\\config"));
    // config.xml can be written wherever the folder is accepted.
    if (!c.refused) fs::create_directories(Host(c.userDataDir + "\\config"));
    GetInstallPaths().installDir = c.installDir;
    GetInstallPaths().userDataDir = c.userDataDir;
    Json::Value doc;
    doc["SessionDir"] = kSession;
    EXPECT_EQ(c.refused ? -1 : 0, Run("PostInstall", "{}", doc));
    const Json::Value state = sim::MachineState();
    EXPECT_EQ(2u, state["registryWrites"].size());
    if (c.userDataDir == data) {
      EXPECT_TRUE(fs::exists(Host(data + "\\config\\config.xml")));
    }
    fs::remove_all(Host(data));
    if (!c.refused) fs::remove_all(Host(c.userDataDir));
    if (!c.refused) {
      ASSERT_EQ(2u, state["startedPrograms"].size());
      EXPECT_EQ("/c " + InstallIcsCommand(c.installDir),
                state["startedPrograms"][0]["parameters"].asString());
      EXPECT_FALSE(doc.isMember("S"));
      continue;
    }
    EXPECT_EQ(0u, state["startedPrograms"].size());
    EXPECT_EQ("failed", doc["S"]["M"]["status"].asString());
    EXPECT_EQ("UNSAFE_FOLDER_PATH", doc["S"]["M"]["error"].asString());
    const std::string refused = SafeInQuotedCommand(c.installDir) ? c.userDataDir : c.installDir;
    EXPECT_EQ("Unable to run the post-installation scripts: the folder " + refused +
                  " holds a character that cmd.exe would not read as part of a path",
              doc["S"]["M"]["reason"].asString());
  }
}

TEST_F(PostInstallHostTest, DesktopFilesStayInTheBackupWithoutADesktop) {
  sim::ScopedMachine machine(Profile());
  PrepareSession("");
  GetInstallPaths().installDir = kInstallDir;
  GetInstallPaths().userDataDir = kUserDataDir;
  fs::create_directories(Host(std::string(kUserDataDir) + "\\config"));
  const std::string backup = std::string(kSession) + "\\desktop_backup";
  fs::create_directories(Host("C:\\Users\\Public\\Desktop"));
  std::ofstream(Host("C:\\Users\\Public\\Desktop\\Orvex.lnk")) << "new link";
  ASSERT_TRUE(BackUpPublicDesktop(Utf8ToWide(kSession)));
  fs::remove_all(Host("C:\\Users\\Public"));  // the desktop folder is missing
  RecordingIndicator indicator;
  Json::Value doc;
  doc["SessionDir"] = kSession;
  EXPECT_EQ(0, Run("PostInstall", R"({"show_progress": ""})", doc, &indicator));
  EXPECT_TRUE(indicator.calls.empty());
  // The copy failed, so the backup keeps its file.
  EXPECT_EQ("new link", test::ReadFile(Host(backup + "\\Orvex.lnk")));
  EXPECT_EQ(0, Run("PostInstall", R"({"show_progress": 0})", doc, &indicator));
  EXPECT_TRUE(indicator.calls.empty());
}

// The desktop is put back only from the backup this run made: a "desktop_backup" found in the
// session folder (left by an earlier run, or put there by someone who guessed its name) would
// have the elevated installer copy anyone's files onto every user's desktop.
TEST_F(PostInstallHostTest, DesktopIsRestoredOnlyFromTheBackupThisRunMade) {
  sim::ScopedMachine machine(Profile());
  PrepareSession("");
  GetInstallPaths().installDir = kInstallDir;
  GetInstallPaths().userDataDir = kUserDataDir;
  fs::create_directories(Host(std::string(kUserDataDir) + "\\config"));
  const std::string desktop = "C:\\Users\\Public\\Desktop";
  fs::create_directories(Host(desktop));
  const std::string planted = std::string(kSession) + "\\desktop_backup";
  fs::create_directories(Host(planted));
  std::ofstream(Host(planted + "\\Orvex.lnk")) << "planted link";
  Json::Value doc;
  doc["SessionDir"] = kSession;
  EXPECT_EQ(0, Run("PostInstall", "{}", doc));
  EXPECT_FALSE(fs::exists(Host(desktop + "\\Orvex.lnk")));
  EXPECT_EQ("planted link", test::ReadFile(Host(planted + "\\Orvex.lnk")));
  // The version check does not back up into a folder it did not make either.
  EXPECT_FALSE(BackUpPublicDesktop(Utf8ToWide(kSession)));
  EXPECT_EQ(0, Run("PostInstall", "{}", doc));
  EXPECT_FALSE(fs::exists(Host(desktop + "\\Orvex.lnk")));

  // A backup made for another session folder is not this one's.
  const std::string other = std::string(kSession) + "\\other";
  fs::create_directories(Host(other));
  std::ofstream(Host(desktop + "\\Old.lnk")) << "old link";
  ASSERT_TRUE(BackUpPublicDesktop(Utf8ToWide(other)));
  fs::remove(Host(desktop + "\\Old.lnk"));
  EXPECT_EQ(0, Run("PostInstall", "{}", doc));
  EXPECT_FALSE(fs::exists(Host(desktop + "\\Old.lnk")));
  // Its own session restores it, once.
  doc["SessionDir"] = other;
  EXPECT_EQ(0, Run("PostInstall", "{}", doc));
  EXPECT_EQ("old link", test::ReadFile(Host(desktop + "\\Old.lnk")));
}

// Scripts that never exit: each is waited for up to the limit ("timeout_seconds", 10 minutes
// by default), the steps after them still run, and the module fails naming the first one.
TEST_F(PostInstallHostTest, ScriptsThatNeverExitFailTheModuleAfterTheLimit) {
  struct Case {
    const char* limit;  // "timeout_seconds" as JSON, "" for none
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"", "install_ics.bat did not finish within 10 minutes; it was left running"},
      {"2.5", "install_ics.bat did not finish within 2.5 seconds; it was left running"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.limit);
    sim::ScopedMachine machine(Profile(R"({"cmd.exe": {"neverExits": true}})"));
    PrepareSession("");
    GetInstallPaths().installDir = kInstallDir;
    GetInstallPaths().userDataDir = kUserDataDir;
    fs::create_directories(Host(std::string(kUserDataDir) + "\\config"));
    g_cancelCalls.clear();
    Json::Value args(Json::objectValue);
    if (*c.limit) args["timeout_seconds"] = J(c.limit);
    Json::Value doc;
    doc["SessionDir"] = kSession;
    EXPECT_EQ(-1, Run("PostInstall", Compact(args), doc));
    EXPECT_EQ(Compact(J(R"({"status": "failed", "reason": ")" + std::string(c.reason) +
                        R"(", "error": "PROGRAM_TIMEOUT"})")),
              Compact(doc["S"]["M"]));
    EXPECT_EQ(2u, sim::MachineState()["startedPrograms"].size());
    EXPECT_EQ(2u, sim::MachineState()["registryWrites"].size());
    EXPECT_TRUE(fs::exists(Host(std::string(kUserDataDir) + "\\config\\config.xml")));
    EXPECT_EQ(std::vector<bool>({false, true}), g_cancelCalls);
  }
}

}  // namespace
}  // namespace orvex

namespace orvex {
namespace {

// The console installer as a dry run of a configuration with the three modules: the machine's
// state file shows the programs it started and the sandbox the written config.xml.
TEST_F(DriverPostInstallTest, DryRunOfADriverInstallationAndPostInstall) {
  char pattern[] = "/tmp/orvex-dry-run-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(pattern));
  const std::string dir = pattern;
  const std::string session = dir + "/sim/C/Users/John Smith/AppData/Local/Temp/orvex session";
  fs::create_directories(session);
  fs::copy_file(*zips_ + "/driver-restart.zip", session + "/gpudriver.zip");
  std::ofstream(dir + "/machine.json") << R"({"name": "dry run",
    "environment": {"SystemDrive": "C:", "SystemRoot": "C:\\Windows", "USERNAME": "John Smith",
                    "USERPROFILE": "C:\\Users\\John Smith",
                    "TEMP": "C:\\Users\\John Smith\\AppData\\Local\\Temp"},
    "registry": {"SOFTWARE\\Quarn\\Orvex": {"InstallDir": "C:\\Program Files\\Quarn\\Orvex",
                                           "UserDataDir": "C:\\ProgramData\\Quarn\\Orvex"}},
    "files": {"C:\\Users\\John Smith\\AppData\\Local\\Temp\\orvex session\\dpinst.exe": "MZ",
              "C:\\Users\\John Smith\\AppData\\Local\\Temp\\orvex session\\dotnet_setup.exe": "MZ",
              "C:\\ProgramData\\Quarn\\Orvex\\config\\readme.txt": ""},
    "programs": {"dpinst.exe": {"exitCode": "0x40000001"}}})";
  std::ofstream(dir + "/config.json") << R"({
    "ProgressIndicators": [{"name": "Console", "class": "PIConsole"}],
    "Callbacks": [{"name": "Default", "class": "CBDefault"}],
    "progress": "Console",
    "Stages": [
      {"name": "Prepare", "modules": [
        {"class": "Injector", "name": "SESSION", "args": {"path": ".SessionDir",
         "value": "C:\\Users\\John Smith\\AppData\\Local\\Temp\\orvex session"}},
        {"class": "Injector", "name": "CPUS", "args": {"path": ".InstallConfig.system.cpus", "value": 8}}]},
      {"name": "LastStage", "modules": [
        {"class": "DPInstaller", "name": "GPU_INSTALLER", "args": {"dpinst_dir": ".SessionDir",
         "src_dir": ".SessionDir", "src_file": "gpudriver.zip", "dest_dir": ".SessionDir",
         "dir_suffix": "Graphics", "is_restart": ".InstallConfig.installer.restart"}},
        {"class": "PostInstall", "name": "POST_INSTALL", "args": {}}]},
      {"name": "DotNet", "modules": [{"class": "InstallDOTNET", "name": "DOTNET", "args": {}}]}]})";
  const std::string command = "cd '" + dir +
                              "' && env -i PATH=/usr/bin:/bin QUARN_OI_RUNMODE=development "
                              "QUARN_OI_DEV_CONFIG='" +
                              dir + "/config' orvex_installer_dump=1 ORVEX_SIM_MACHINE='" + dir +
                              "/machine.json' ORVEX_SIM_ROOT='" + dir + "/sim' ORVEX_SIM_STATE='" +
                              dir + "/state.json' '" + ORVEX_INSTALLER_PATH +
                              "' >out.txt 2>err.txt </dev/null";
  const int status = std::system(command.c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << test::ReadFile(dir + "/err.txt");

  Json::Value dump;
  ASSERT_TRUE(ParseJson(test::ReadFile(dir + "/orvex_installer_dump.json"), dump, nullptr));
  EXPECT_TRUE(dump["InstallConfig"]["installer"]["restart"].isBool());
  EXPECT_TRUE(dump["InstallConfig"]["installer"]["restart"].asBool());
  const std::string output = test::ReadFile(dir + "/out.txt") + test::ReadFile(dir + "/err.txt");
  EXPECT_NE(std::string::npos,
            output.find("Run this installer after .NET installation is complete"))
      << output;

  Json::Value state;
  ASSERT_TRUE(ParseJson(test::ReadFile(dir + "/state.json"), state, nullptr));
  std::vector<std::string> files;
  for (const Json::Value& started : state["startedPrograms"])
    files.push_back(started["file"].asString());
  EXPECT_EQ(
      std::vector<std::string>(
          {"\"C:\\Users\\John Smith\\AppData\\Local\\Temp\\orvex session\\dpinst.exe\"",
           "\"C:\\Windows\\system32\\cmd.exe\"", "\"C:\\Windows\\system32\\cmd.exe\"",
           "\"C:\\Users\\John Smith\\AppData\\Local\\Temp\\orvex session\\dotnet_setup.exe\""}),
      files);
  const std::string xml = test::ReadFile(dir + "/sim/C/ProgramData/Quarn/Orvex/config/config.xml");
  ASSERT_GE(xml.size(), 2u);
  EXPECT_EQ("\xFF\xFE", xml.substr(0, 2));
  std::string count16;
  for (char c : std::string("<count>8</count>")) count16 += std::string(1, c) + '\0';
  EXPECT_NE(std::string::npos, xml.find(count16));
  EXPECT_TRUE(fs::exists(session + "/Graphics/restart.marker"));
  if (!HasFailure()) {
    std::error_code ignored;
    fs::remove_all(dir, ignored);
  }
}

}  // namespace
}  // namespace orvex

namespace orvex {
namespace {

// A user whose name is not ASCII: the session directory made in the profile's TEMP holds the
// name in UTF-8, and every module that takes it from the document reaches the same folder.
// The version check saves the public desktop there, dpinst and the .NET setup start from
// there, and PostInstall puts the desktop back from there.
TEST_F(PostInstallHostTest, NonAsciiUserFoldersThroughTheModules) {
  for (const std::string user : {"José", "Łukasz", "Анна", "陈"}) {
    SCOPED_TRACE(user);
    const std::string profileDir = "C:\\Users\\" + user;
    const std::string temp = profileDir + "\\AppData\\Local\\Temp";
    const std::string session = temp + "\\orvex session";
    Json::Value profile = Profile(R"({"dpinst.exe": {"exitCode": "0x40000001"}})");
    profile["environment"]["USERNAME"] = user;
    profile["environment"]["USERPROFILE"] = profileDir;
    profile["environment"]["TEMP"] = temp;
    profile["environment"]["TMP"] = temp;
    sim::ScopedMachine machine(profile);
    std::error_code ignored;
    fs::remove_all(Host(profileDir), ignored);
    fs::remove_all(Host("C:\\Users\\Public"), ignored);
    fs::remove_all(Host("C:\\drivers"), ignored);
    fs::create_directories(Host(temp));
    fs::create_directories(Host("C:\\drivers"));
    fs::copy_file(*zips_ + "/driver.zip", Host("C:\\drivers\\gpudriver.zip"));
    const std::string desktop = "C:\\Users\\Public\\Desktop";
    fs::create_directories(Host(desktop));
    std::ofstream(Host(desktop + "\\Orvex 1.0.lnk")) << "old link";
    GetInstallPaths().installDir = kInstallDir;
    GetInstallPaths().userDataDir = kUserDataDir;
    fs::create_directories(Host(std::string(kUserDataDir) + "\\config"));

    RecordingIndicator indicator;
    indicator.promptAnswer = 1;  // "Upgrade"
    Json::Value doc = test::UserFolderRunDocument("C:\\drivers");
    CStage first("F");
    first.SetPlan(&plan_);
    test::AddSessionFolderModule(first, &indicator);
    ASSERT_EQ(0, first.Execute(&doc));
    CStage stage("S");
    stage.SetPlan(&plan_);
    test::AddUserFolderModules(stage, &indicator);
    // The programs the downloads would have brought into the session directory.
    std::ofstream(Host(session + "\\dpinst.exe")) << "MZ";
    std::ofstream(Host(session + "\\dotnet_setup.exe")) << "MZ";
    plan_.abortMessage.clear();

    // InstallDOTNET always ends the stage.
    EXPECT_EQ(-1, stage.Execute(&doc));
    EXPECT_EQ(session, doc["SessionDir"].asString());
    EXPECT_EQ("process_module_failed", doc["S"]["status"]["progress"].asString());
    EXPECT_EQ("InstallDOTNET", doc["S"]["status"]["module"].asString());
    EXPECT_EQ("Run this installer after .NET installation is complete", plan_.abortMessage);
    EXPECT_TRUE(doc["InstallConfig"]["installer"]["restart"].asBool());
    EXPECT_EQ(1u, doc["S"].size()) << Compact(doc["S"]);  // no module recorded a failure
    const Json::Value started = sim::MachineState()["startedPrograms"];
    ASSERT_EQ(4u, started.size()) << Compact(started);
    EXPECT_EQ("\"" + session + "\\dpinst.exe\"", started[0]["file"].asString());
    EXPECT_EQ("\"" + session + "\\dotnet_setup.exe\"", started[3]["file"].asString());
    // The desktop went into the session's backup and came back from it.
    EXPECT_EQ("old link", test::ReadFile(Host(desktop + "\\Orvex 1.0.lnk")));
    EXPECT_TRUE(fs::exists(Host(session + "\\desktop_backup")));
    EXPECT_FALSE(fs::exists(Host(session + "\\desktop_backup\\Orvex 1.0.lnk")));
    fs::remove_all(Host(profileDir), ignored);
    fs::remove_all(Host("C:\\drivers"), ignored);
  }
}

}  // namespace
}  // namespace orvex
