// The console indicator and callback handler print exact texts that tools read.

#include <gtest/gtest.h>

#include <memory>

#include "engine/console_progress.h"
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
