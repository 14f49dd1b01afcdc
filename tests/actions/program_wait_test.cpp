// The time limit of a module's wait for a program: its argument and its text.

#include "actions/program_wait.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace orvex {
namespace {

using test::J;

TEST(ProgramWait, TheArgumentGivesTheLimitOrAConfigurationError) {
  struct Case {
    const char* args;
    bool valid;
    uint32_t milliseconds;
  };
  const std::vector<Case> cases = {
      {"{}", true, 600000},
      {R"({"timeout_seconds": null})", true, 600000},
      {R"({"timeout_seconds": 1})", true, 1000},
      {R"({"timeout_seconds": 3600})", true, 3600000},
      {R"({"timeout_seconds": 0.5})", true, 500},
      {R"({"timeout_seconds": 1.0005})", true, 1001},
      {R"({"timeout_seconds": 0.0001})", true, 1},
      {R"({"timeout_seconds": 4294967})", true, 4294967000u},
      {R"({"timeout_seconds": 4294967.294})", true, 4294967294u},
      {R"({"timeout_seconds": 4294967.295})", false, 0},
      {R"({"timeout_seconds": 1e10})", false, 0},
      {R"({"timeout_seconds": 18446744073709551615})", false, 0},
      {R"({"timeout_seconds": 0})", false, 0},
      {R"({"timeout_seconds": 0.0})", false, 0},
      {R"({"timeout_seconds": -5})", false, 0},
      {R"({"timeout_seconds": -0.5})", false, 0},
      {R"({"timeout_seconds": "60"})", false, 0},
      {R"({"timeout_seconds": ""})", false, 0},
      {R"({"timeout_seconds": true})", false, 0},
      {R"({"timeout_seconds": false})", false, 0},
      {R"({"timeout_seconds": [60]})", false, 0},
      {R"({"timeout_seconds": {}})", false, 0},
      // Arguments that are no object count as no argument, as for every module.
      {"null", true, 600000},
      {"[1]", true, 600000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    uint32_t milliseconds = 7;
    std::string error;
    EXPECT_EQ(c.valid, ReadWaitLimit(J(c.args), kScriptWaitSeconds, &milliseconds, &error));
    if (c.valid) {
      EXPECT_EQ(c.milliseconds, milliseconds);
      EXPECT_EQ("", error);
    } else {
      EXPECT_EQ(
          "The argument \"timeout_seconds\" must be a number of seconds above 0 and at "
          "most 4294967",
          error);
    }
  }
  uint32_t milliseconds = 0;
  std::string error;
  EXPECT_TRUE(ReadWaitLimit(J("{}"), kDriverInstallerWaitSeconds, &milliseconds, &error));
  EXPECT_EQ(1800000u, milliseconds);
}

TEST(ProgramWait, TheTextNamesTheProgramAndTheLimit) {
  const std::vector<std::pair<uint32_t, const char*>> cases = {
      {1800000, "dpinst.exe did not finish within 30 minutes; it was left running"},
      {600000, "dpinst.exe did not finish within 10 minutes; it was left running"},
      {60000, "dpinst.exe did not finish within 1 minute; it was left running"},
      {90000, "dpinst.exe did not finish within 90 seconds; it was left running"},
      {1000, "dpinst.exe did not finish within 1 second; it was left running"},
      {1500, "dpinst.exe did not finish within 1.5 seconds; it was left running"},
      {1, "dpinst.exe did not finish within 0.001 seconds; it was left running"},
      {4294967294u, "dpinst.exe did not finish within 4294967.294 seconds; it was left running"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.second, DidNotFinishText("dpinst.exe", c.first));
}

}  // namespace
}  // namespace orvex
