// The crash path on the simulated machine: what a crash writes into the current directory,
// what the dialog's two answers send to the web service (the dev service), and how the crash
// path behaves when it is entered twice. Each crash runs in a forked child (death test).

#include "app/crash_handler.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "app/system_report.h"
#include "base/json_text.h"
#include "common/run_flags.h"
#include "engine/install_plan.h"
#include "platform/minidump.h"
#include "platform/sim/machine.h"
#include "tests/support/devservice_client.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

using test::J;
using test::ScopedEnv;

constexpr uint32_t kAccessViolation = 0xC0000005;

bool Exists(const std::string& path) { return std::ifstream(path).good(); }

// Dialog answers, as the crash dialog's buttons act.
void AnswerSend() {
  std::fprintf(stderr, "[dialog shown]\n");
  SendCrashReport();
}
void AnswerDontSend() { std::fprintf(stderr, "[dialog shown]\n"); }
void FaultInsideTheDialog() {
  std::fprintf(stderr, "[dialog shown]\n");
  platform::RaiseNoncontinuableException(kAccessViolation);
  std::fprintf(stderr, "[still in the dialog]\n");
}
void AnotherThreadCrashesMeanwhile() {
  std::fprintf(stderr, "[dialog shown]\n");
  std::thread([] { platform::RaiseNoncontinuableException(kAccessViolation); }).detach();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  std::fprintf(stderr, "[dialog closed]\n");
}

// The handler is installed in the death test's child only: the test process itself keeps the
// system's handling of its own failures.
void Install(CrashDialogHook dialog) {
  SetCrashDialogHook(dialog);
  InstallCrashHandler();
}

void Crash(CrashDialogHook dialog) {
  Install(dialog);
  platform::RaiseNoncontinuableException(kAccessViolation);
}

class CrashHandler : public ::testing::Test {
 protected:
  void SetUp() override {
    ::testing::GTEST_FLAG(death_test_style) = "fast";  // the child keeps the dev service
    service_ = &test::DevService::Get();
    service_->Reset();
    char pattern[] = "/tmp/orvex-crash-XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    dir_ = pattern;
    char cwd[4096];
    ASSERT_NE(nullptr, getcwd(cwd, sizeof cwd));
    previousDir_ = cwd;
    ASSERT_EQ(0, chdir(dir_.c_str()));
    plan_.doc = J(R"({"env": {"ui": "dialog"}, "Main": {"status": {"progress": "started"}}})");
  }
  void TearDown() override {
    registration_ = PlanRegistration();
    SetCrashDialogHook(nullptr);
    ASSERT_EQ(0, chdir(previousDir_.c_str()));
    std::system(("rm -rf '" + dir_ + "'").c_str());
  }

  std::string File(const char* extension) {
    return test::ReadFile(dir_ + "/" + CrashFileName(extension));
  }

  Json::Value Uploads() {
    Json::Value uploads(Json::arrayValue);
    for (const Json::Value& request : service_->Requests())
      if (request["path"].asString().find("/upload/crashreport/installer/") == 0)
        uploads.append(request);
    return uploads;
  }

  test::DevService* service_ = nullptr;
  CInstallPlan plan_;
  PlanRegistration registration_;  // after the plan: ends first
  std::string dir_;
  std::string previousDir_;
  ScopedEnv base_{"BASE_DOMAIN", ""};
};

TEST_F(CrashHandler, CrashWithAPlanWritesThreeFilesAndSendUploadsEachOnce) {
  ScopedEnv base("BASE_DOMAIN", service_->BaseUrl() + "/");
  registration_ = PlanRegistration(&plan_);
  EXPECT_EXIT(Crash(&AnswerSend), ::testing::ExitedWithCode(1), "\\[dialog shown\\]");

  EXPECT_EQ(0u, File(".dmp").find("MDMP"));
  EXPECT_NE(std::string::npos, File(".dmp").find("type 0x1850"));
  EXPECT_NE(std::string::npos, File(".dmp").find("exception 0xC0000005"));
  EXPECT_EQ(StyledJson(plan_.doc), File(".log"));
  EXPECT_EQ(BuildSystemReport(), File(".txt"));

  Json::Value uploads = Uploads();
  ASSERT_EQ(3u, uploads.size());
  const char* kinds[][2] = {{"dump", ".dmp"}, {"log", ".log"}, {"systeminfo", ".txt"}};
  for (Json::ArrayIndex i = 0; i < 3; ++i) {
    SCOPED_TRACE(kinds[i][0]);
    const Json::Value& upload = uploads[i];
    EXPECT_EQ("POST", upload["method"].asString());
    EXPECT_EQ(std::string("/installer.orvex.example/upload/crashreport/installer/") + kinds[i][0],
              upload["raw_path"].asString());
    EXPECT_FALSE(upload["headers"].isMember("Expect"));
    ASSERT_EQ(1u, upload["parts"].size());
    const Json::Value& part = upload["parts"][0];
    EXPECT_EQ(CrashFileName(kinds[i][1]), part["name"].asString());
    EXPECT_EQ(File(kinds[i][1]), part["text"].asString());
  }
}

TEST_F(CrashHandler, WithoutAPlanTwoFilesAreSentAndTheLogsFailureIsPrinted) {
  ScopedEnv base("BASE_DOMAIN", service_->BaseUrl() + "/");
  // An earlier crash left its files; none of them is this crash's.
  for (const char* extension : {".dmp", ".log"}) std::ofstream(CrashFileName(extension)) << "stale";
  // A link planted at a crash file's name is replaced, never written through.
  ASSERT_EQ(0, mkdir("outside", 0755));
  std::ofstream("outside/precious") << "precious";
  ASSERT_EQ(0, symlink((dir_ + "/outside/precious").c_str(), CrashFileName(".txt").c_str()));
  EXPECT_EXIT(
      Crash(&AnswerSend), ::testing::ExitedWithCode(1),
      "curl_easy_perform\\(\\) failed: Failed to open/read local data from file/application");
  EXPECT_FALSE(Exists(CrashFileName(".log")));
  EXPECT_NE("stale", File(".dmp"));
  EXPECT_EQ(BuildSystemReport(), File(".txt"));
  EXPECT_EQ("precious", test::ReadFile(dir_ + "/outside/precious"));
  Json::Value uploads = Uploads();
  ASSERT_EQ(2u, uploads.size());
  EXPECT_EQ("/upload/crashreport/installer/dump", uploads[0]["path"].asString());
  EXPECT_EQ("/upload/crashreport/installer/systeminfo", uploads[1]["path"].asString());
}

TEST_F(CrashHandler, DontSendEndsWithOneAndNoTraffic) {
  ScopedEnv base("BASE_DOMAIN", service_->BaseUrl() + "/");
  registration_ = PlanRegistration(&plan_);
  EXPECT_EXIT(Crash(&AnswerDontSend), ::testing::ExitedWithCode(1), "\\[dialog shown\\]");
  EXPECT_TRUE(Exists(CrashFileName(".dmp")));
  EXPECT_TRUE(Exists(CrashFileName(".log")));
  EXPECT_EQ(0u, service_->Requests().size());
}

TEST_F(CrashHandler, WithoutTheDumpWriterTheSystemHandlesTheCrash) {
  sim::ScopedMachine machine(J(R"({"name": "no dbghelp", "dbghelp": false})"));
  EXPECT_DEATH(Crash(&AnswerDontSend), "^$");
  EXPECT_FALSE(Exists(CrashFileName(".dmp")));
  EXPECT_FALSE(Exists(CrashFileName(".txt")));
}

TEST_F(CrashHandler, EscapedExceptionsAndAbortReachTheCrashPath) {
  registration_ = PlanRegistration(&plan_);
  EXPECT_EXIT(
      {
        Install(&AnswerDontSend);
        std::thread([] { throw std::runtime_error("escaped"); }).join();
      },
      ::testing::ExitedWithCode(1), "\\[dialog shown\\]");
  EXPECT_NE(std::string::npos, File(".dmp").find("exception 0xE04F5258"));
  EXPECT_EQ(StyledJson(plan_.doc), File(".log"));
  std::remove(CrashFileName(".dmp").c_str());
  EXPECT_EXIT(
      {
        Install(&AnswerDontSend);
        std::abort();
      },
      ::testing::ExitedWithCode(1), "\\[dialog shown\\]");
  EXPECT_NE(std::string::npos, File(".dmp").find("exception 0xE04F5258"));
}

TEST_F(CrashHandler, OnlyOneCrashIsHandled) {
  // A fault inside the crash path ends the process at once, without a second dialog.
  EXPECT_EXIT(Crash(&FaultInsideTheDialog), ::testing::ExitedWithCode(1), "^\\[dialog shown\\]\n$");
  // Another thread that crashes meanwhile waits; the first crash finishes its dialog.
  EXPECT_EXIT(Crash(&AnotherThreadCrashesMeanwhile), ::testing::ExitedWithCode(1),
              "^\\[dialog shown\\]\n\\[dialog closed\\]\n$");
}

}  // namespace
}  // namespace orvex
