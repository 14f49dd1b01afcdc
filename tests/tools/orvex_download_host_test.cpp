// orvex-download as a process: its destination is a path of the simulated machine, given on
// the command line as UTF-8 bytes, in any script.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/devservice_client.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

namespace fs = std::filesystem;

TEST(OrvexDownload, DestinationsInAnyScriptAreWrittenInTheSandbox) {
  test::DevService& service = test::DevService::Get();
  service.PutPatternMedia("tool.bin", 1000);
  char pattern[] = "/tmp/orvex-download-tool-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(pattern));
  const std::string dir = pattern;
  struct Case {
    const char* destination;
    const char* hostFile;  // below the sandbox; nullptr when nothing may be written
  };
  const std::vector<Case> cases = {
      {"C:\\café.bin", "C/café.bin"},
      {"C:\\Users\\José\\陈.bin", "C/Users/José/陈.bin"},
      {"C:\\Users\\Анна\\Łukasz.bin", "C/Users/Анна/Łukasz.bin"},
      {"C:\\caf\xC3.bin", nullptr},  // not UTF-8: a name of its own, or refused, never a crash
  };
  fs::create_directories(dir + "/sim/C/Users/José");
  fs::create_directories(dir + "/sim/C/Users/Анна");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.destination);
    // The dev service speaks plain http, which a development setting must allow.
    const std::string command = "cd '" + dir + "' && env -i PATH=/usr/bin:/bin ORVEX_SIM_ROOT='" +
                                dir + "/sim' DOWNLOAD_DOMAIN='" + service.BaseUrl() + "/' '" +
                                ORVEX_DOWNLOAD_PATH + "' '" + service.Url("/media/tool.bin") +
                                "' '" + c.destination + "' >out.txt 2>err.txt </dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << test::ReadFile(dir + "/err.txt");
    if (!c.hostFile) {
      EXPECT_LE(WEXITSTATUS(status), 1) << test::ReadFile(dir + "/err.txt");
      continue;
    }
    EXPECT_EQ(0, WEXITSTATUS(status)) << test::ReadFile(dir + "/err.txt");
    EXPECT_EQ("1000\n", test::ReadFile(dir + "/out.txt"));
    EXPECT_EQ(test::DevService::Pattern(1000), test::ReadFile(dir + "/sim/" + c.hostFile));
  }
  // Nothing was written beside the sandbox but the two outputs.
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ((std::vector<std::string>{"err.txt", "out.txt", "sim"}), names);
  if (!HasFailure()) fs::remove_all(dir);
}

// --sha256 asks for a check: a value that is no digest, the empty one included, is a usage
// error before any request, never a download that checks nothing.
TEST(OrvexDownload, DigestArgumentMustBeADigest) {
  test::DevService& service = test::DevService::Get();
  service.Reset();
  service.PutMedia("pinned.bin", "the package");
  char pattern[] = "/tmp/orvex-download-digest-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(pattern));
  const std::string dir = pattern;
  fs::create_directories(dir + "/sim/C");
  const std::string right = "ab326f16dec533ba65139949246581c016b9d4c77d0de0046e65f48e575372a3";
  const std::pair<std::string, int> cases[] = {
      {"", 2},    {" ", 2}, {right.substr(1), 2}, {right + "0", 2}, {std::string(64, '0'), 1},
      {right, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("'" + c.first + "'");
    fs::remove(dir + "/sim/C/pinned.bin");
    service.Reset();
    service.PutMedia("pinned.bin", "the package");
    const std::string command = "cd '" + dir + "' && env -i PATH=/usr/bin:/bin ORVEX_SIM_ROOT='" +
                                dir + "/sim' DOWNLOAD_DOMAIN='" + service.BaseUrl() + "/' '" +
                                ORVEX_DOWNLOAD_PATH + "' --sha256 '" + c.first + "' '" +
                                service.Url("/media/pinned.bin") +
                                "' 'C:\\pinned.bin' >out.txt 2>err.txt </dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status)) << test::ReadFile(dir + "/err.txt");
    EXPECT_EQ(c.second, WEXITSTATUS(status)) << test::ReadFile(dir + "/err.txt");
    EXPECT_EQ(c.second == 0, fs::exists(dir + "/sim/C/pinned.bin"));
    EXPECT_EQ(c.second == 2, service.Requests("/media/pinned.bin").empty());
  }
  if (!HasFailure()) fs::remove_all(dir);
}

}  // namespace
}  // namespace orvex
