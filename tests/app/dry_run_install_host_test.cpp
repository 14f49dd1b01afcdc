// A dry run of examples/install-package: orvex-installer on the simulated machine downloads a
// cabinet from the dev service, unpacks it, installs the package inside, and tries a package
// that fails. The machine's state shows the installed product, the dump the failure.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "base/json_text.h"
#include "tests/support/devservice_client.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

TEST(DryRunInstall, DownloadsUnpacksAndInstallsThePackage) {
  char pattern[] = "/tmp/orvex-dry-install-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(pattern));
  const std::string dir = pattern;
  test::DevService& service = test::DevService::Get();
  service.Reset();
  service.SetConfig(
      test::ReadFile(std::string(ORVEX_EXAMPLES_DIR) + "/install-package/config.json"));
  for (const char* cabinet : {"orvex-product.cab", "orvex-failing.cab"})
    service.PutMedia(cabinet, test::ReadFile(std::string(ORVEX_MSI_FIXTURES) + "/" + cabinet));

  const std::string command = "cd '" + dir + "' && env -i PATH=/usr/bin:/bin " +
                              "QUARN_OI_RUNMODE=sandbox BASE_DOMAIN=" + service.BaseUrl() +
                              "/ orvex_installer_dump=1 ORVEX_SIM_ROOT=" + dir +
                              "/sim ORVEX_SIM_STATE=" + dir + "/state.json '" +
                              ORVEX_INSTALLER_PATH + "' >out.txt 2>err.txt </dev/null";
  const int raw = std::system(command.c_str());
  const std::string out = test::ReadFile(dir + "/out.txt");
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(0, WEXITSTATUS(raw)) << out << test::ReadFile(dir + "/err.txt");

  Json::Value state;
  ASSERT_TRUE(ParseJson(test::ReadFile(dir + "/state.json"), state));
  const Json::Value& installed = state["installedProducts"];
  ASSERT_EQ(1u, installed.size()) << out;
  EXPECT_EQ("Orvex Install Test", installed[0]["productName"].asString());
  EXPECT_EQ("2.0.7.100", installed[0]["version"].asString());
  EXPECT_EQ(" ORVEX_SOURCE=\"web installer\" REBOOT=ReallySuppress",
            installed[0]["commandLine"].asString());

  Json::Value dump;
  ASSERT_TRUE(ParseJson(test::ReadFile(dir + "/orvex_installer_dump.json"), dump));
  EXPECT_EQ("completed", dump["LastStage"]["status"]["progress"].asString()) << out;
  EXPECT_EQ("", dump["LastStage"]["INSTALL"]["error"].asString());
  const Json::Value& failing = dump["Failing"]["INSTALL_FAILING"];
  EXPECT_EQ("failed", failing["status"].asString());
  EXPECT_EQ("Orvex test package: this machine does not meet the launch condition.",
            failing["error"].asString());
  // The console indicator showed the installer's progress.
  EXPECT_NE(std::string::npos, out.find("Installation completed.")) << out;
  std::system(("rm -rf '" + dir + "'").c_str());
}

}  // namespace
}  // namespace orvex
