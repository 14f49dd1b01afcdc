// The console installer as a process: its exit statuses, its two output streams and the
// state dump, for configurations written by the tests and for the bundled demo.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/json_text.h"
#include "tests/support/devservice_client.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
  std::string dump;  // "" when no dump was written
};

class ConsoleInstaller : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/orvex-console-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  void WriteConfig(const std::string& text) {
    std::ofstream(dir_ + "/config.json", std::ios::binary) << text;
  }

  // Runs the installer in the test's folder with a clean environment plus `env`.
  Outcome Start(const std::string& env) {
    std::string command = "cd '" + dir_ + "' && env -i PATH=/usr/bin:/bin " + env + " '" +
                          ORVEX_INSTALLER_PATH + "' >out.txt 2>err.txt </dev/null";
    int raw = std::system(command.c_str());
    Outcome run;
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.out = test::ReadFile(dir_ + "/out.txt");
    run.err = test::ReadFile(dir_ + "/err.txt");
    run.dump = test::ReadFile(dir_ + "/orvex_installer_dump.json");
    return run;
  }

  Outcome StartWithConfig(const std::string& text, const std::string& extraEnv = "") {
    WriteConfig(text);
    return Start("QUARN_OI_RUNMODE=development QUARN_OI_DEV_CONFIG=" + dir_ + "/config " +
                 extraEnv);
  }

  std::string dir_;
};

const char kSmallConfig[] = R"({
  "ProgressIndicators": [{"name": "Console", "class": "PIConsole"}],
  "Callbacks": [{"name": "Default", "class": "CBDefault"}],
  "progress": "Console",
  "Stages": [
    {"name": "First", "msg": "Starting", "modules": [
      {"class": "Injector", "name": "SET", "msg": "Setting", "args": {"path": ".x", "value": 7}}]},
    {"name": "LastStage", "modules": [
      {"class": "Injector", "name": "COPY", "args": {"path": ".y", "value": ".x"}}]}]})";

TEST_F(ConsoleInstaller, CompletedRunExitsZeroAndDumpsTheDocumentWhenAsked) {
  Outcome run = StartWithConfig(kSmallConfig, "orvex_installer_dump=yes");
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_EQ(
      "Starting\n"
      "Setting\n"
      "Stage Done   [First]\n"
      "Progress Bar Off\n"
      "\n"
      "Stage Done   [LastStage]\n"
      "Progress Bar Off\n",
      run.out);
  EXPECT_EQ("", run.err);
  Json::Value dump;
  ASSERT_TRUE(ParseJson(run.dump, dump)) << run.dump;
  EXPECT_EQ(StyledJson(dump), run.dump);  // styled, as written by the styled writer
  EXPECT_EQ(7, dump["y"].asInt());
  EXPECT_EQ("completed", dump["LastStage"]["status"]["progress"].asString());
  EXPECT_EQ("console", dump["env"]["ui"].asString());
  EXPECT_EQ("PIConsole", dump["env"]["PROGRESS"].asString());
  // A run mode is set, so the environment was imported too.
  EXPECT_EQ("development", dump["env"]["QUARN_OI_RUNMODE"].asString());
}

TEST_F(ConsoleInstaller, NoDumpUnlessAsked) {
  Outcome run = StartWithConfig(kSmallConfig);
  EXPECT_EQ(0, run.status);
  EXPECT_EQ("", run.dump);
}

TEST_F(ConsoleInstaller, FailedRunExitsOneWithTheFailureOnStandardError) {
  Outcome run = StartWithConfig(R"({
    "ProgressIndicators": [{"name": "Console", "class": "PIConsole"}],
    "Callbacks": [{"name": "Default", "class": "CBDefault"}],
    "progress": "Console",
    "Stages": [{"name": "Broken", "modules": [{"class": "Injector", "name": "BAD"}]},
               {"name": "LastStage"}]})",
                                "orvex_installer_dump=1");
  EXPECT_EQ(1, run.status);
  EXPECT_EQ("\nProgress Bar Off\nDiscontinuing installation\nInstallation aborted\n", run.out);
  EXPECT_EQ(
      "Stage/Module Failed   [Broken/BAD]\n"
      "Failure reason [The path string is null or not a string]\n"
      "Failure error  []\n",
      run.err);
  Json::Value dump;
  ASSERT_TRUE(ParseJson(run.dump, dump));
  EXPECT_FALSE(dump.isMember("LastStage"));
}

// A RemoveDir whose directory resolves to nothing is refused before it searches anything:
// files at the simulated drive's root and in the current folder stay.
TEST_F(ConsoleInstaller, RemoveDirOfNothingDeletesNothing) {
  ASSERT_EQ(0, std::system(("mkdir -p '" + dir_ + "/sim/C/Windows'").c_str()));
  std::ofstream(dir_ + "/sim/C/marker.txt") << "keep";
  std::ofstream(dir_ + "/sim/C/Windows/marker.txt") << "keep";
  std::ofstream(dir_ + "/marker.txt") << "keep";
  for (const char* directory : {R"("")", R"(".NoSuchPath")", "5", "{}", R"("  ")", "null"}) {
    SCOPED_TRACE(directory);
    Outcome run = StartWithConfig(std::string(R"({
      "ProgressIndicators": [{"name": "Console", "class": "PIConsole"}],
      "Callbacks": [{"name": "Default", "class": "CBDefault"}],
      "progress": "Console",
      "Stages": [{"name": "Clean", "modules": [
          {"class": "RemoveDir", "name": "RM", "args": {"directory": )") +
                                      directory + R"(}}]},
        {"name": "LastStage"}]})",
                                  "ORVEX_SIM_ROOT=" + dir_ + "/sim orvex_installer_dump=1");
    EXPECT_EQ(1, run.status) << run.err;
    EXPECT_EQ(
        "Stage/Module Failed   [Clean/RM]\n"
        "Failure reason [The directory string is null]\n"
        "Failure error  [DIRECTORY_PATH_NULL]\n",
        run.err);
    EXPECT_EQ("keep", test::ReadFile(dir_ + "/sim/C/marker.txt"));
    EXPECT_EQ("keep", test::ReadFile(dir_ + "/sim/C/Windows/marker.txt"));
    EXPECT_EQ("keep", test::ReadFile(dir_ + "/marker.txt"));
    EXPECT_FALSE(test::ReadFile(dir_ + "/config.json").empty());
  }
}

// Writing a scalar over the document root or the running stage's records fails the module
// with PATH_NOT_WRITABLE; the run ends as a failed run and the document is dumped.
TEST_F(ConsoleInstaller, ScalarOverTheRunRecordsFailsTheModuleAndTheDocumentIsDumped) {
  for (const char* args :
       {R"({"path": "", "value": 5})", R"({"path": ".", "value": "x"})",
        R"({"path": ".Write", "value": 5})", R"({"path": ".Write.status", "value": 5})"}) {
    SCOPED_TRACE(args);
    Outcome run = StartWithConfig(std::string(R"({
      "ProgressIndicators": [{"name": "Console", "class": "PIConsole"}],
      "Callbacks": [{"name": "Default", "class": "CBDefault"}],
      "progress": "Console",
      "Stages": [{"name": "Write", "modules": [{"class": "Injector", "name": "INJ", "args": )") +
                                      args + R"(}]}, {"name": "LastStage"}]})",
                                  "orvex_installer_dump=1");
    EXPECT_EQ(1, run.status) << run.err;
    EXPECT_NE(std::string::npos, run.err.find("Failure error  [PATH_NOT_WRITABLE]")) << run.err;
    Json::Value dump;
    ASSERT_TRUE(ParseJson(run.dump, dump)) << run.dump;
    EXPECT_EQ("process_module_failed", dump["Write"]["status"]["progress"].asString());
    EXPECT_EQ("console", dump["env"]["ui"].asString());
  }
}

// What modules, Injectors and path arguments leave in the run's records never ends the run
// with an escaped exception: a restart flag over the records is refused like any write, a
// number as "error" is printed, a record a path argument made an array is a record again.
TEST_F(ConsoleInstaller, OddValuesInTheRunRecordsEndTheRunAsAFailedRun) {
  struct Case {
    const char* modules;
    const char* failure;  // the console handler's report
  };
  const std::vector<Case> cases = {
      {R"({"class": "DPInstaller", "name": "GPU", "args": {"is_restart": ".W"}})",
       "Stage/Module Failed   [W/GPU]\n"
       "Failure reason [Not able to store a value at .W]\n"
       "Failure error  [PATH_NOT_WRITABLE]\n"},
      {R"({"class": "DPInstaller", "name": "GPU", "args": {"is_restart": ".W.status"}})",
       "Stage/Module Failed   [W/GPU]\n"
       "Failure reason [Not able to store a value at .W.status]\n"
       "Failure error  [PATH_NOT_WRITABLE]\n"},
      {R"({"class": "Injector", "name": "SET", "args": {"path": ".W.BAD.error", "value": 12345}},
          {"class": "Injector", "name": "BAD"})",
       "Stage/Module Failed   [W/BAD]\n"
       "Failure reason [The path string is null or not a string]\n"
       "Failure error  [12345]\n"},
      {R"({"class": "Injector", "name": "SET", "args": {"path": ".W.BAD.reason", "value": [1]}},
          {"class": "Injector", "name": "SET2", "args": {"path": ".W.BAD.error", "value": 2.5}},
          {"class": "CheckPromptDOTNET", "name": "BAD"})",
       "Stage/Module Failed   [W/BAD]\n"
       "Failure reason []\n"
       "Failure error  [DOTNET_INSTALL_ABORTED]\n"},
      {R"({"class": "DPInstaller", "name": "GPU", "args": {"dpinst_dir": ".W.GPU[0]"}})",
       "Stage/Module Failed   [W/GPU]\n"
       "Failure reason [Unable to install \\]\n"
       "Failure error  [The driver's folders and archive are not all given]\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.modules);
    Outcome run = StartWithConfig(std::string(R"({
      "ProgressIndicators": [{"name": "Console", "class": "PIConsole"}],
      "Callbacks": [{"name": "Default", "class": "CBDefault"}],
      "progress": "Console",
      "Stages": [{"name": "Prepare", "modules": [{"class": "Injector", "name": "FLAG",
                   "args": {"path": ".InstallConfig.system.dotnet.prompt", "value": true}}]},
                 {"name": "W", "modules": [)") +
                                      c.modules + R"(]}, {"name": "LastStage"}]})",
                                  "ORVEX_SIM_ROOT=" + dir_ + "/sim orvex_installer_dump=1");
    EXPECT_EQ(1, run.status) << run.err;
    EXPECT_EQ(c.failure, run.err);
    Json::Value dump;
    ASSERT_TRUE(ParseJson(run.dump, dump)) << run.dump;
    EXPECT_EQ("process_module_failed", dump["W"]["status"]["progress"].asString());
  }
}

TEST_F(ConsoleInstaller, WithoutConfigurationTheQuestionIsDeclinedAndTheRunAborts) {
  struct Case {
    const char* env;
  } cases[] = {
      {"QUARN_OI_RUNMODE=development QUARN_OI_DEV_CONFIG=/nonexistent/config"},
      // Configurations are downloaded: from a port where nothing listens.
      {"QUARN_OI_RUNMODE=sandbox BASE_DOMAIN=http://127.0.0.1:1/"},
      {"BASE_DOMAIN=http://127.0.0.1:1/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.env);
    Outcome run = Start(std::string(c.env) + " orvex_installer_dump=1");
    EXPECT_EQ(2, run.status);
    EXPECT_EQ("Installation aborted\n", run.out);
    EXPECT_EQ("", run.err);
    EXPECT_EQ("", run.dump);  // nothing is dumped
  }
}

TEST_F(ConsoleInstaller, OtherRunModesDownloadTheConfigurationFromTheWebService) {
  test::DevService& service = test::DevService::Get();
  service.Reset();
  service.SetConfig(kSmallConfig);
  Outcome run = Start("QUARN_OI_RUNMODE=sandbox BASE_DOMAIN=" + service.BaseUrl() + "/");
  EXPECT_EQ(0, run.status) << run.err;
  EXPECT_NE(std::string::npos, run.out.find("Stage Done   [LastStage]\n"));
  Json::Value requests = service.Requests("/index/getinstallconfig");
  ASSERT_EQ(2u, requests.size());
  EXPECT_EQ("GET", requests[1]["method"].asString());
}

TEST_F(ConsoleInstaller, ConfigurationThatDoesNotParseGetsOneLineNamingTheError) {
  Outcome run = StartWithConfig("{\n  \"Stages\": [\n    {\"name\": \"A\",,}\n  ]\n}\n");
  EXPECT_EQ(2, run.status);
  EXPECT_EQ("", run.out);
  ASSERT_FALSE(run.err.empty());
  EXPECT_EQ(1, std::count(run.err.begin(), run.err.end(), '\n')) << run.err;
  EXPECT_NE(std::string::npos, run.err.find("line 3, column 18")) << run.err;
}

// A regular expression that cannot be matched is a configuration error, never an escaped
// exception: in a rule set it fails the RulesRunner module, in a stage's "on" condition it
// makes the configuration unusable.
TEST_F(ConsoleInstaller, PatternsThatCannotBeMatchedAreConfigurationErrors) {
  for (const char* pattern : {"(", "(a)\\\\1", "(?=c)console"}) {
    SCOPED_TRACE(pattern);
    Outcome inRules = StartWithConfig(std::string(R"({
        "ProgressIndicators": [{"name": "Console", "class": "PIConsole"}],
        "Callbacks": [{"name": "Default", "class": "CBDefault"}],
        "progress": "Console",
        "Stages": [{"name": "S", "modules": [
          {"class": "RulesRunner", "name": "R", "args": {"rules": {"rules": [
            {"cond": {"type": "regex_match", "left": ".env.ui", "right": ")") +
                                          pattern + R"("}}]}}}]}, {"name": "LastStage"}]})",
                                      "orvex_installer_dump=1");
    EXPECT_EQ(1, inRules.status) << inRules.out << inRules.err;
    EXPECT_NE(std::string::npos, inRules.err.find("Stage/Module Failed   [S/R]\n"
                                                  "Failure reason [Invalid regular expression"))
        << inRules.err;
    EXPECT_NE(std::string::npos, inRules.err.find("Failure error  [INVALID_PATTERN]"))
        << inRules.err;
    Json::Value dump;
    ASSERT_TRUE(ParseJson(inRules.dump, dump)) << inRules.dump;
    EXPECT_EQ("fatal", dump["S"]["R"]["status"].asString());

    Outcome inOn = StartWithConfig(std::string(R"({"Stages": [{"name": "S",
        "on": {"type": "regex_imatch", "left": ".ui", "right": ")") +
                                       pattern + R"("}}, {"name": "LastStage"}]})",
                                   "orvex_installer_dump=1");
    EXPECT_EQ(2, inOn.status) << inOn.out << inOn.err;
    EXPECT_EQ(0u, inOn.err.find("orvex-installer: the configuration is not valid: The \"on\" "
                                "condition of stage \"S\": Invalid regular expression \""))
        << inOn.err;
  }
}

TEST_F(ConsoleInstaller, ExceptionEscapingTheRunExitsThreeWithItsText) {
  Outcome typeError = StartWithConfig(R"({"Stages": [{"name": "S", "modules": [
      {"class": "RulesRunner", "name": "R", "args": {"rules": {"rules": [
        {"cond": {"type": "gt", "left": ".env.N", "right": "3"}}]}}}]}]})",
                                      "N=5");
  EXPECT_EQ(3, typeError.status);
  EXPECT_NE(std::string::npos, typeError.err.find("Type is not convertible to int"))
      << typeError.err;
}

TEST_F(ConsoleInstaller, BundledDemoCompletesAndShowsItsWork) {
  Outcome run = Start(std::string("QUARN_OI_RUNMODE=development QUARN_OI_DEV_CONFIG=") +
                      ORVEX_EXAMPLES_DIR + "/console-demo orvex_installer_dump=1");
  EXPECT_EQ(0, run.status) << run.err;
  // Its last stage fails after "LastStage" completed: reported, yet installed.
  EXPECT_NE(std::string::npos, run.err.find("Stage/Module Failed   [Cleanup/BROKEN_INJECTOR]"));
  EXPECT_NE(std::string::npos, run.out.find("Installation aborted\n"));
  Json::Value dump;
  ASSERT_TRUE(ParseJson(run.dump, dump));
  EXPECT_EQ("lite", dump["Install"]["edition"].asString());
  EXPECT_TRUE(dump["InstallConfig"]["lowMemory"].asBool());
  EXPECT_FALSE(dump.isMember("WindowOnly"));
  EXPECT_EQ("completed", dump["LastStage"]["status"]["progress"].asString());
}

}  // namespace
}  // namespace orvex
