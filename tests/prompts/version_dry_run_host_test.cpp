// Dry runs of the version check with the console installer on a recorded machine: Orvex
// 2.0.6.8063 installed (examples/machines/orvex-installed.json), found by GetProductInfo,
// compared with the offered version; the console declines every question.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "base/json_text.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

class VersionDryRun : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/orvex-version-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir_ = pattern;
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }

  // Runs the installer on the recorded machine, with running processes added, offering the
  // version in url. Returns the exit status; err and doc receive standard error and the dump.
  int Run(const std::string& url, const std::string& processes, std::string* err,
          Json::Value* doc) {
    Json::Value machine;
    EXPECT_TRUE(ParseJson(
        test::ReadFile(std::string(ORVEX_EXAMPLES_DIR) + "/machines/orvex-installed.json"),
        machine));
    machine["processes"] = test::J(processes);
    std::ofstream(dir_ + "/machine.json") << StyledJson(machine);
    std::ofstream(dir_ + "/config.json") << R"({
      "ProgressIndicators": [{"name": "Console", "class": "PIConsole"}],
      "Callbacks": [{"name": "Default", "class": "CBDefault"}],
      "progress": "Console",
      "Stages": [{"name": "LastStage", "modules": [
        {"class": "GetProductInfo", "name": "PRODUCT", "args": {"saveTo": ".Config", "product": "Orvex"}},
        {"class": "Injector", "name": "OFFERED", "args": {"path": ".InstallConfig.installer.url", "value": ")"
                                         << url << R"("}},
        {"class": "CheckPromptVersion", "name": "VERSION"}]}]})";
    const std::string command = "cd '" + dir_ +
                                "' && env -i PATH=/usr/bin:/bin QUARN_OI_RUNMODE=development "
                                "QUARN_OI_DEV_CONFIG=" +
                                dir_ + "/config ORVEX_SIM_MACHINE=" + dir_ +
                                "/machine.json "
                                "ORVEX_SIM_ROOT=" +
                                dir_ + "/sim orvex_installer_dump=1 '" + ORVEX_INSTALLER_PATH +
                                "' >out.txt 2>err.txt </dev/null";
    const int raw = std::system(command.c_str());
    *err = test::ReadFile(dir_ + "/err.txt");
    EXPECT_TRUE(ParseJson(test::ReadFile(dir_ + "/orvex_installer_dump.json"), *doc));
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }

  std::string dir_;
};

TEST_F(VersionDryRun, OutcomesOnTheRecordedMachine) {
  struct Case {
    const char* url;
    const char* processes;
    int status;
    const char* error;
  };
  const Case cases[] = {
      {"http://dl/OrvexInstaller-2.0.6.9000.exe", "[]", 1, "ORVEX_UPTODATE"},
      {"http://dl/OrvexInstaller-2.0.7.1.exe", "[]", 1, "ORVEX_UPGRADE_ABORTED"},
      // The running product is only asked about after "Upgrade", which the console never
      // chooses.
      {"http://dl/OrvexInstaller-2.1.0.1.exe", R"([{"exe": "Orvex.exe", "pid": 77}])", 1,
       "ORVEX_UPGRADE_ABORTED"},
      // Without a version in the address nothing is taken as up to date or older.
      {"http://dl/OrvexInstaller.exe", "[]", 1, "ORVEX_VERSION_UNREADABLE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    std::string err;
    Json::Value doc;
    EXPECT_EQ(c.status, Run(c.url, c.processes, &err, &doc));
    EXPECT_EQ(2, doc["Config"]["product"]["major_version"].asInt());
    EXPECT_EQ(6, doc["Config"]["product"]["sub_minor_version"].asInt());
    EXPECT_EQ(c.error, doc["LastStage"]["VERSION"]["error"].asString());
    EXPECT_NE(std::string::npos, err.find(std::string("Failure error  [") + c.error + "]")) << err;
  }
}

}  // namespace
}  // namespace orvex
