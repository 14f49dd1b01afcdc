// The installer session's own decisions: session id, seeded variables, environment import,
// the development configuration file and the state dump.

#include "app/installer_session.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <utility>

#include "base/json_text.h"
#include "common/run_flags.h"
#include "common/web_service.h"
#include "tests/support/development_setting.h"
#include "tests/support/devservice_client.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

using test::ScopedDevelopmentSetting;

// Text mode: the dump is written as text, with CR LF line ends on Windows.
std::string ReadTextFile(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(Session, IdHasNoZeroPadding) {
  platform::LocalTime t;
  t.year = 2016, t.month = 2, t.day = 5, t.hour = 9, t.minute = 3, t.second = 7;
  EXPECT_EQ("201625-937", MakeSessionId(t));
  t.year = 2026, t.month = 12, t.day = 31, t.hour = 23, t.minute = 59, t.second = 58;
  EXPECT_EQ("20261231-235958", MakeSessionId(t));
}

TEST(Session, SeedsVariablesInOrderAndQuadruplesBackslashes) {
  Json::Value variables(Json::objectValue);
  platform::LocalTime t;
  t.year = 2016, t.month = 2, t.day = 5, t.hour = 9, t.minute = 3, t.second = 7;
  SeedSessionVariables(variables, "console", "PIConsole", "C:\\Setup", t);
  EXPECT_EQ("console", variables["ui"].asString());
  EXPECT_EQ("201625-937", variables["THIS_SESSION"].asString());
  EXPECT_EQ("D:\\\\development\\\\orvex", variables["PROGRAM_INSTALL_DIR"].asString());
  EXPECT_EQ(kProductSiteHost, variables["CONNECT_CHECK_URI"].asString());
  EXPECT_EQ("PIConsole", variables["PROGRESS"].asString());
  EXPECT_EQ(GetBaseUrl(), variables["BASE_URL"].asString());
  EXPECT_EQ("C:\\\\\\\\Setup", variables["CURRENT_DIR"].asString());  // four backslashes
  // Substituted into a JSON string literal, the directory reads back with two separators,
  // which is what a configuration needs to write a Windows path into another JSON text.
  Json::Value parsed = test::J("\"" + variables["CURRENT_DIR"].asString() + "\"");
  EXPECT_EQ("C:\\\\Setup", parsed.asString());
}

TEST(Session, EnvironmentImportTypesValuesByNameAndText) {
  Json::Value variables(Json::objectValue);
  variables["ui"] = "console";
  ImportEnvironment(variables, {"NUMBER_OF_PROCESSORS=8", "NODE=abc", "FLAG=true", "OFF=false",
                                "windir=C:\\Windows", "NEG=-12x", "NOTHING", "EQUALS=a=b",
                                "ui=overridden", "N_BIG=99999999999"});
  EXPECT_EQ(Json::Value(8), variables["NUMBER_OF_PROCESSORS"]);
  EXPECT_EQ(Json::Value(0), variables["NODE"]);
  EXPECT_EQ(Json::Value(true), variables["FLAG"]);
  EXPECT_EQ(Json::Value(false), variables["OFF"]);
  EXPECT_EQ(Json::Value("C:\\Windows"), variables["windir"]);
  EXPECT_EQ(Json::Value(-12), variables["NEG"]);
  EXPECT_FALSE(variables.isMember("NOTHING"));  // no "=": skipped
  EXPECT_EQ(Json::Value("a=b"), variables["EQUALS"]);
  EXPECT_EQ(Json::Value("overridden"), variables["ui"]);
  EXPECT_EQ(Json::Value(2147483647), variables["N_BIG"]);  // clamped, not wrapped
}

TEST(Session, DevelopmentConfigurationIsReadUpToItsFirstZeroByte) {
  const std::string base = ::testing::TempDir() + "orvex_dev_config";
  {
    std::ofstream out(base + ".json", std::ios::binary);
    out << std::string("{\"Stages\": []}\0garbage", 22);
  }
  ScopedDevelopmentSetting file("QUARN_OI_DEV_CONFIG", base);
  ScopedDevelopmentSetting mode("QUARN_OI_RUNMODE", "development");
  EXPECT_EQ("{\"Stages\": []}", GetInstallConfig());
  std::remove((base + ".json").c_str());
  EXPECT_EQ("", GetInstallConfig());
}

TEST(Session, OtherRunModesDownloadTheConfigurationFromTheWebService) {
  test::DevService& service = test::DevService::Get();
  service.Reset();
  service.SetConfig("{\"Stages\": []}\n");
  ScopedDevelopmentSetting prefix("BASE_DOMAIN", service.BaseUrl() + "/");
  for (const char* mode : {"sandbox", ""}) {
    SCOPED_TRACE(mode);
    ScopedDevelopmentSetting runMode("QUARN_OI_RUNMODE", mode);
    EXPECT_EQ("{\"Stages\": []}", GetInstallConfig());  // line ends stripped
  }
  Json::Value requests = service.Requests("/index/getinstallconfig");
  ASSERT_EQ(4u, requests.size());  // a HEAD probe, then the GET, per run mode
  EXPECT_EQ("HEAD", requests[0]["method"].asString());
  EXPECT_EQ("GET", requests[1]["method"].asString());
  EXPECT_EQ("/installer.orvex.example/index/getinstallconfig", requests[1]["raw_path"].asString());

  service.SetConfig("");  // the service answers 404
  ScopedDevelopmentSetting runMode("QUARN_OI_RUNMODE", "sandbox");
  EXPECT_EQ("", GetInstallConfig());
}

TEST(Session, StateIsDumpedOnlyWhenAsked) {
  const char* dump = "orvex_installer_dump.json";
  std::remove(dump);
  Json::Value doc = test::J(R"({"LastStage": {"status": {"progress": "completed"}}})");
  DumpStateIfRequested(doc);
  EXPECT_EQ("", ReadTextFile(dump));
  ScopedDevelopmentSetting on("orvex_installer_dump", "1");
  DumpStateIfRequested(doc);
  EXPECT_EQ(StyledJson(doc), ReadTextFile(dump));
  std::remove(dump);
}

TEST(Session, MissingConfigurationAsksToRetryAndAbortsOnQuit) {
  ScopedDevelopmentSetting mode("QUARN_OI_RUNMODE", "development");
  ScopedDevelopmentSetting file("QUARN_OI_DEV_CONFIG", ::testing::TempDir() + "no_such_config");
  test::RecordingIndicator ui;
  SessionSettings settings;
  settings.ui = "console";
  settings.progress = "PIConsole";
  settings.indicator = &ui;
  SessionResult result = RunInstallerSession(settings);
  EXPECT_EQ(SessionResult::kNoConfiguration, result.outcome);
  EXPECT_EQ(std::vector<std::string>(
                {std::string("prompt:Could not get configuration data from ") + kProductSiteHost +
                     ".|Retry|Quit|An internet connection is required to continue "
                     "installation.|0",
                 "status:Installation aborted"}),
            ui.calls);
}

TEST(Session, RetryFetchesTheConfigurationAgain) {
  test::DevService& service = test::DevService::Get();
  service.Reset();
  service.SetConfig(R"({"Stages": [{"name": "LastStage"}]})");
  // Each attempt probes twice (the second time through the proxy retry): two failed attempts.
  Json::Value fault;
  fault["path"] = "/index/getinstallconfig";
  fault["kind"] = "status";
  fault["status"] = 404;
  fault["times"] = 4;
  service.AddFault(fault);
  ScopedDevelopmentSetting prefix("BASE_DOMAIN", service.BaseUrl() + "/");
  ScopedDevelopmentSetting mode("QUARN_OI_RUNMODE", "sandbox");
  // A variable of the process's own environment: it reaches the session variables only
  // because a run mode is set.
  test::ScopedEnv marker("ORVEX_TEST_IMPORTED", "yes");
  test::RecordingIndicator ui;
  ui.promptAnswer = 1;
  SessionSettings settings;
  settings.ui = "dialog";
  settings.progress = "PIDialog";
  settings.indicator = &ui;
  ScopedDevelopmentSetting dumpOn("orvex_installer_dump", "1");
  const char* dump = "orvex_installer_dump.json";
  std::remove(dump);
  // The window may end the process as soon as it hears of the end: by then the dump is written
  // and the completion is known.
  bool finishedCalled = false;
  bool completedWhenFinished = false;
  std::string dumpWhenFinished;
  settings.onPlanFinished = [&](bool completed) {
    finishedCalled = true;
    completedWhenFinished = completed;
    dumpWhenFinished = ReadTextFile(dump);
  };
  SessionResult result = RunInstallerSession(settings);
  std::remove(dump);
  EXPECT_EQ(2, std::count_if(ui.calls.begin(), ui.calls.end(), [](const std::string& call) {
              return call.rfind("prompt:Could not get configuration data from ", 0) == 0;
            }));
  EXPECT_EQ(SessionResult::kRan, result.outcome);
  EXPECT_TRUE(result.completed);
  EXPECT_TRUE(finishedCalled);
  EXPECT_TRUE(completedWhenFinished);
  ASSERT_TRUE(result.plan);
  EXPECT_EQ(StyledJson(result.plan->doc), dumpWhenFinished);
  // The environment was imported because a run mode is set.
  EXPECT_EQ("yes", result.plan->doc["env"]["ORVEX_TEST_IMPORTED"].asString());
  EXPECT_EQ("dialog", result.plan->doc["env"]["ui"].asString());
  EXPECT_EQ("step:0/1", ui.calls.back());
}

// g_plan points at the session's plan while the caller keeps the result, also after a move,
// and is null once the result ends: the plan it pointed at is gone then.
TEST(Session, PlanIsRegisteredOnlyWhileTheResultLives) {
  const std::string base = ::testing::TempDir() + "orvex_registered_plan";
  std::ofstream(base + ".json", std::ios::binary) << R"({"Stages": [{"name": "LastStage"}]})";
  ScopedDevelopmentSetting mode("QUARN_OI_RUNMODE", "development");
  ScopedDevelopmentSetting file("QUARN_OI_DEV_CONFIG", base);
  test::RecordingIndicator ui;
  SessionSettings settings;
  settings.ui = "console";
  settings.progress = "PIConsole";
  settings.indicator = &ui;
  {
    SessionResult result = RunInstallerSession(settings);
    ASSERT_EQ(SessionResult::kRan, result.outcome);
    ASSERT_NE(nullptr, result.plan);
    EXPECT_EQ(result.plan.get(), g_plan);
    SessionResult kept = std::move(result);
    EXPECT_EQ(kept.plan.get(), g_plan);
  }
  EXPECT_EQ(nullptr, g_plan);
  std::remove((base + ".json").c_str());
}

// Notepad writes a byte-order mark at the start of a UTF-8 file; the configuration is read
// past it, from the development file and from the web service.
TEST(Session, ConfigurationWithAByteOrderMarkRuns) {
  const std::string text = "\xEF\xBB\xBF{\"Stages\": [{\"name\": \"LastStage\"}]}";
  const std::string base = ::testing::TempDir() + "orvex_bom_config";
  std::ofstream(base + ".json", std::ios::binary) << text;
  test::DevService& service = test::DevService::Get();
  service.Reset();
  service.SetConfig(text);
  ScopedDevelopmentSetting prefix("BASE_DOMAIN", service.BaseUrl() + "/");
  ScopedDevelopmentSetting file("QUARN_OI_DEV_CONFIG", base);
  for (const char* mode : {"development", "sandbox"}) {
    SCOPED_TRACE(mode);
    ScopedDevelopmentSetting runMode("QUARN_OI_RUNMODE", mode);
    test::RecordingIndicator ui;
    SessionSettings settings;
    settings.ui = "console";
    settings.progress = "PIConsole";
    settings.indicator = &ui;
    SessionResult result = RunInstallerSession(settings);
    EXPECT_EQ(SessionResult::kRan, result.outcome);
    EXPECT_TRUE(result.completed);
  }
  std::remove((base + ".json").c_str());
}

// A configuration answer that announces more than a request keeps fails like an unreachable
// service: the Retry/Quit question, and the next attempt runs.
TEST(Session, ConfigurationAnswerAnnouncingGigabytesAsksToRetry) {
  test::DevService& service = test::DevService::Get();
  service.Reset();
  service.SetConfig(R"({"Stages": [{"name": "LastStage"}]})");
  Json::Value fault;
  fault["path"] = "/index/getinstallconfig";
  fault["kind"] = "huge_length";  // 100 GiB, and blanks sent for as long as anyone reads
  fault["times"] = 1;
  service.AddFault(fault);
  ScopedDevelopmentSetting prefix("BASE_DOMAIN", service.BaseUrl() + "/");
  ScopedDevelopmentSetting mode("QUARN_OI_RUNMODE", "sandbox");
  test::RecordingIndicator ui;
  ui.promptAnswer = 1;
  SessionSettings settings;
  settings.ui = "console";
  settings.progress = "PIConsole";
  settings.indicator = &ui;
  SessionResult result = RunInstallerSession(settings);
  EXPECT_EQ(1, std::count_if(ui.calls.begin(), ui.calls.end(), [](const std::string& call) {
              return call.rfind("prompt:Could not get configuration data from ", 0) == 0;
            }));
  EXPECT_EQ(SessionResult::kRan, result.outcome);
  EXPECT_TRUE(result.completed);
}

}  // namespace
}  // namespace orvex
