// The console indicator and callback handler print exact texts that tools read.

#include "engine/console_progress.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/progress_factories.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;

TEST(ConsoleIndicator, PrintsEachCallExactly) {
  CConsolePI console;
  CaptureStdout();
  console.SetStatus("Checking system");
  console.SetDetail("Checking connection to example.org");
  console.ShowProgressBar();
  console.SetProgress(42);
  console.SetStep(2, 5);
  console.HideProgressBar();
  EXPECT_EQ(
      "Checking system\n"
      "Checking connection to example.org\n"
      "Progress Bar On\n"
      "Progress - 42\r"
      "Progress Bar Off\n",
      GetCapturedStdout());
}

TEST(ConsoleIndicator, DeclinesEveryQuestionSilently) {
  CConsolePI console;
  CaptureStdout();
  EXPECT_EQ(0, console.Prompt("Continue?", "Yes", "No", "", 0));
  EXPECT_EQ(0, console.Prompt("Done.", "Ok", "", "", 2));
  EXPECT_EQ("", GetCapturedStdout());
}

TEST(DefaultCallback, ReportsFailureOnStandardErrorAndDiscontinues) {
  CDefaultCB callback;
  Json::Value doc = test::J(R"({"Stage1": {"NET": {"reason": "No connection to host",
                                                   "error": "NO_CONNECTION"}}})");
  CaptureStderr();
  CaptureStdout();
  EXPECT_EQ(-1, callback.OnModuleFailed(&doc, "Stage1", "NET"));
  EXPECT_EQ(-1, callback.OnModuleFailed(&doc, "Stage1", "SILENT"));  // recorded nothing
  EXPECT_EQ("", GetCapturedStdout());
  EXPECT_EQ(
      "Stage/Module Failed   [Stage1/NET]\n"
      "Failure reason [No connection to host]\n"
      "Failure error  [NO_CONNECTION]\n"
      "Stage/Module Failed   [Stage1/SILENT]\n"
      "Failure reason []\n"
      "Failure error  []\n",
      GetCapturedStderr());
  // The record is read with creation, so the silent module now has one.
  EXPECT_TRUE(doc["Stage1"].isMember("SILENT"));
}

// Whatever an Injector or a rule left in the record is printed as well as it can be; the
// handler never throws and always discontinues.
TEST(DefaultCallback, OddRecordValuesArePrintedTolerantly) {
  struct Case {
    const char* doc;
    const char* reason;
    const char* error;
  };
  const std::vector<Case> cases = {
      {R"({"S": {"M": {"reason": "No connection", "error": 12345}}})", "No connection", "12345"},
      {R"({"S": {"M": {"reason": 7, "error": -3}}})", "7", "-3"},
      {R"({"S": {"M": {"reason": true, "error": 2.5}}})", "true", "2.5"},
      {R"({"S": {"M": {"reason": ["a"], "error": {"code": "X"}}}})", "", ""},
      {R"({"S": {"M": "a text"}})", "", ""},
      {R"({"S": {"M": [1, 2]}})", "", ""},
      {R"({"S": 5})", "", ""},
      {R"([1])", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.doc);
    CDefaultCB callback;
    Json::Value doc = test::J(c.doc);
    CaptureStderr();
    EXPECT_EQ(-1, callback.OnModuleFailed(&doc, "S", "M"));
    EXPECT_EQ("Stage/Module Failed   [S/M]\nFailure reason [" + std::string(c.reason) +
                  "]\nFailure error  [" + c.error + "]\n",
              GetCapturedStderr());
  }
}

TEST(DefaultCallback, AnnouncesCompletedStagesOnStandardOutput) {
  CDefaultCB callback;
  Json::Value doc;
  CaptureStdout();
  callback.OnStageDone(&doc, "LastStage");
  EXPECT_EQ("Stage Done   [LastStage]\n", GetCapturedStdout());
}

TEST(ProgressFactories, CreateByExactClassName) {
  test::RecordingIndicator window;
  test::RecordingCallback windowCallback;
  std::unique_ptr<IProgressIndicator> console(CreateProgressIndicator("PIConsole"));
  EXPECT_NE(nullptr, dynamic_cast<CConsolePI*>(console.get()));
  std::unique_ptr<ICallbackHandler> standard(CreateCallbackHandler("CBDefault"));
  EXPECT_NE(nullptr, dynamic_cast<CDefaultCB*>(standard.get()));

  EXPECT_EQ(nullptr, CreateProgressIndicator("PIDialog"));  // no window yet
  EXPECT_EQ(nullptr, CreateCallbackHandler("CBDialog"));
  g_dialogIndicator = &window;
  g_dialogCallback = &windowCallback;
  EXPECT_EQ(&window, CreateProgressIndicator("PIDialog"));
  EXPECT_EQ(&window, CreateProgressIndicator("PIDialog"));  // the same object every time
  EXPECT_EQ(&windowCallback, CreateCallbackHandler("CBDialog"));
  g_dialogIndicator = nullptr;
  g_dialogCallback = nullptr;

  EXPECT_EQ(nullptr, CreateProgressIndicator("piconsole"));
  EXPECT_EQ(nullptr, CreateCallbackHandler("CBConsole"));
}

}  // namespace
}  // namespace orvex
