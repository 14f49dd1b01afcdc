// The dry run of the product's installation (examples/install/config.json through
// scripts/e2e/product_console.py) on the built-in 64-bit machine does what Windows would: the
// package of 64-bit Windows installs, its Registry table records the product's folders where
// the installer reads them, and PostInstall starts both scripts and writes config.xml.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "base/json_text.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

using test::Compact;

std::string BuildDir() {
  const std::string installer = ORVEX_INSTALLER_PATH;
  return installer.substr(0, installer.rfind('/'));
}

bool HasWrite(const Json::Value& writes, const std::string& key, const std::string& name,
              const std::string& value) {
  for (const Json::Value& write : writes)
    if (write["key"].asString() == key && write["name"].asString() == name &&
        write["value"] == Json::Value(value))
      return true;
  return false;
}

TEST(DryRunProduct, FreshInstallationRunsTheScriptsAndWritesConfigXml) {
  char pattern[] = "/tmp/orvex-dry-product-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(pattern));
  const std::string dir = pattern;
  const std::string command = "python3 '" + std::string(ORVEX_SOURCE_DIR) +
                              "/scripts/e2e/product_console.py' --build '" + BuildDir() +
                              "' --out '" + dir + "' --expect completed >'" + dir +
                              "/out.txt' 2>&1 </dev/null";
  const int raw = std::system(command.c_str());
  const std::string out = test::ReadFile(dir + "/out.txt");
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(0, WEXITSTATUS(raw)) << out;

  Json::Value state;
  ASSERT_TRUE(ParseJson(test::ReadFile(dir + "/state.json"), state)) << out;
  // The package's Registry table: [INSTALLDIR] and [USERDATADIR] resolved, in the 64-bit view.
  const Json::Value& writes = state["registryWrites"];
  EXPECT_TRUE(
      HasWrite(writes, "SOFTWARE\\Quarn\\Orvex", "InstallDir", "C:\\Program Files\\Quarn\\Orvex\\"))
      << Compact(writes);
  EXPECT_TRUE(
      HasWrite(writes, "SOFTWARE\\Quarn\\Orvex", "UserDataDir", "C:\\ProgramData\\Quarn\\Orvex\\"))
      << Compact(writes);
  const Json::Value& started = state["startedPrograms"];
  ASSERT_EQ(2u, started.size()) << Compact(started);
  EXPECT_EQ(
      "/c \"\"C:\\Program Files\\Quarn\\Orvex\\\\install_ics.bat\" "
      "\"C:\\Program Files\\Quarn\\Orvex\\\" \"Quarn\" \"Orvex\"\"",
      started[0]["parameters"].asString());
  EXPECT_EQ(
      "/c \"\"C:\\Program Files\\Quarn\\Orvex\\\\copy_vbox_config.bat\" "
      "\"C:\\ProgramData\\Quarn\\Orvex\\orvexvm\"\"",
      started[1]["parameters"].asString());
  const std::string xml = test::ReadFile(dir + "/sim/C/ProgramData/Quarn/Orvex/config/config.xml");
  EXPECT_EQ(std::string("\xFF\xFE<\0", 4), xml.substr(0, 4));

  Json::Value dump;
  ASSERT_TRUE(ParseJson(test::ReadFile(dir + "/orvex_installer_dump.json"), dump));
  EXPECT_EQ("completed", dump["LastStage"]["status"]["progress"].asString());
  EXPECT_FALSE(dump["Install"].isMember("POST_INSTALL"));
  // LastStage's record of the session has a place of its own, not the Install stage's record.
  EXPECT_TRUE(dump["Installed"]["session"].isString());
  EXPECT_FALSE(dump["Install"].isMember("session"));

  Json::Value requests;
  ASSERT_TRUE(ParseJson(test::ReadFile(dir + "/requests.json"), requests));
  bool reported = false;
  for (const Json::Value& request : requests) {
    if (request["path"].asString() != "/installer/install" || request["method"] != "POST") continue;
    reported = true;
    EXPECT_EQ("INSTALLED", request["form"]["status"].asString());
    EXPECT_EQ("2.0.6.8063", request["form"]["version"].asString());
  }
  EXPECT_TRUE(reported);
  std::system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace
}  // namespace orvex
