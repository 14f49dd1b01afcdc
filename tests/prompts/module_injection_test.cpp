// The prompt modules that inject modules into their stage (.NET, graphics driver, restart),
// the graphics failure handler, the VT and uninstallable prompts as far as they open no
// page, and the console indicator declining every question.

#include "prompts/module_injection.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "common/run_flags.h"
#include "common/web_service.h"
#include "engine/console_progress.h"
#include "engine/module.h"
#include "engine/module_registry.h"
#include "engine/stage.h"
#include "prompts/snippets.h"
#include "tests/support/development_setting.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

using test::Compact;
using test::FakeModule;
using test::J;
using test::RecordingCallback;
using test::RecordingIndicator;

// Answers the questions in turn (0 once the script runs out); PromptForChoice answers with
// the scripted choices.
class ScriptedIndicator : public RecordingIndicator {
 public:
  int Prompt(std::string message, std::string ok, std::string cancel, std::string detail,
             int severity) override {
    RecordingIndicator::Prompt(message, ok, cancel, detail, severity);
    if (answers.empty()) return 0;
    int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  PromptChoice PromptForChoice(std::string message, std::string ok, std::string cancel,
                               std::string detail, int severity) override {
    RecordingIndicator::Prompt(message, ok, cancel, detail, severity);
    return choice;
  }
  std::deque<int> answers;
  PromptChoice choice = PromptChoice::kDismissed;
};

// A stage "S" holding PROMPT (a module of the class under test) between FIRST and NEXT, as a
// configuration would load it.
class PromptStageTest : public ::testing::Test {
 protected:
  void SetUp() override { g_cancelRequested = false; }
  void TearDown() override { g_cancelRequested = false; }

  IModule* Load(const std::string& className, IProgressIndicator* indicator) {
    stage->AddModule(new FakeModule("FIRST", &journal));
    IModule* prompt = CreateModuleByClass(className);
    EXPECT_NE(nullptr, prompt) << className;
    if (!prompt) return nullptr;
    prompt->SetName("PROMPT");
    prompt->SetProgressIndicator(indicator);
    stage->AddModule(prompt);
    stage->AddModule(new FakeModule("NEXT", &journal));
    stage->SetProgressIndicator(indicator);
    for (IModule* module : stage->GetModules()) module->Init(nullptr, stage.get());
    return prompt;
  }

  std::vector<std::string> Order() {
    std::vector<std::string> names;
    for (IModule* module : stage->GetModules()) names.push_back(module->GetName());
    return names;
  }

  std::string Error() { return Compact(doc["S"]["PROMPT"]["error"]); }

  void Fresh() {
    stage = std::make_unique<CStage>("S");
    journal.clear();
  }

  std::unique_ptr<CStage> stage = std::make_unique<CStage>("S");
  std::vector<std::string> journal;
  Json::Value doc{Json::objectValue};
};

using Names = std::vector<std::string>;

// ---- the snippets

TEST(PromptSnippets, ParseIntoTheDefinitionsTheStageRuns) {
  struct Case {
    const char* snippet;
    const char* expected;
  };
  const Case cases[] = {
      {kDotNetDownloadSnippet,
       R"({"args":{"destination":"dotnet.cab","directory":".SessionDir","sha256":".InstallConfig.system.dotnet.sha256","url":"%ORVEX_DOWNLOAD_URL%/media/DotNet.cab"},"class":"HTTPDownloader","msg":"Downloading .Net installer","name":"DOTNET_DOWNLOADER"})"},
      // The extraction's status text sits inside its arguments; its own "msg" is empty.
      {kDotNetExtractionSnippet,
       R"({"args":{"cab":"dotnet.cab","directory":".SessionDir","msg":"Extracting .Net setup"},"class":"CABExtractor","msg":"","name":"DOTNET_EXTRACTOR"})"},
      {kDotNetInstallationSnippet,
       R"({"args":{"dest_dir":".SessionDir","dir_suffix":"Graphics","dpinst_dir":".SessionDir","src_dir":".SessionDir","src_file":"gpudriver.zip"},"class":"InstallDOTNET","msg":"Installing .Net","name":"DOTNET_INSTALLER"})"},
      {kDriverAddressQuerySnippet,
       R"({"args":{"is_res_json":false,"request_args":{"deviceid":".Config.gpu.gpu1.deviceid","platform":".Config.platform.os_arch","vendorid":".Config.gpu.gpu1.vendorid"},"request_url":"%ORVEX_SERVER_URL%/index/driverupdate","res_path":".InstallConfig.display.driver.url"},"class":"AjaxRequest","msg":"","name":"GET_DRIVER_URL"})"},
      {kDriverDownloadSnippet,
       R"({"args":{"destination":"gpudriver.zip","directory":".SessionDir","sha256":".InstallConfig.display.driver.sha256","url":".InstallConfig.display.driver.url"},"class":"HTTPDownloader","msg":"Downloading Graphics Driver","name":"GPU_DOWNLOADER"})"},
      {kDriverInstallationSnippet,
       R"({"args":{"dest_dir":".SessionDir","dir_suffix":"Graphics","dpinst_dir":".SessionDir","is_restart":".InstallConfig.installer.restart","src_dir":".SessionDir","src_file":"gpudriver.zip"},"class":"DPInstaller","msg":"Installing Graphics Driver","name":"GPU_INSTALLER"})"},
      {kRestartSnippet, R"({"args":{},"class":"RestartSystem","msg":"","name":"RESTART_SYSTEM"})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.snippet);
    Json::Value definition;
    ASSERT_TRUE(InjectedDefinition({c.snippet, "", ""}, &definition));
    EXPECT_EQ(c.expected, Compact(definition));
  }
}

// An address from the environment goes into the parsed text as it is: quotes and backslashes
// neither break the definition nor add members to it.
TEST(PromptSnippets, AnAddressCannotChangeTheDefinition) {
  const std::string hostile = "http://h'x\"}, 'class' : 'RemoveDir', \\";
  Json::Value definition;
  ASSERT_TRUE(InjectedDefinition({kDriverAddressQuerySnippet, kServerUrlPlaceholder, hostile},
                                 &definition));
  EXPECT_EQ(hostile + "/index/driverupdate", definition["args"]["request_url"].asString());
  EXPECT_EQ("AjaxRequest", definition["class"].asString());
  EXPECT_EQ(4u, definition["args"].size());

  EXPECT_FALSE(InjectedDefinition({"{'class' : 'RestartSystem', ", "", ""}, &definition));
  EXPECT_FALSE(InjectedDefinition({"'RestartSystem'", "", ""}, &definition));
}

// ---- the restart prompt

TEST_F(PromptStageTest, OnlyAnExplicitRestartNowInjectsTheRestart) {
  struct Case {
    const char* restart;
    PromptChoice choice;
    bool asked;
    Names order;
  };
  const Names untouched{"FIRST", "PROMPT", "NEXT"};
  const Case cases[] = {
      {"true", PromptChoice::kDeclined, true, {"FIRST", "PROMPT", "RESTART_SYSTEM", "NEXT"}},
      {"true", PromptChoice::kAccepted, true, untouched},   // "Restart Later"
      {"true", PromptChoice::kDismissed, true, untouched},  // closed, Esc
      {"1", PromptChoice::kDeclined, true, {"FIRST", "PROMPT", "RESTART_SYSTEM", "NEXT"}},
      {"false", PromptChoice::kDeclined, false, untouched},
      {"null", PromptChoice::kDeclined, false, untouched},
      {"\"\"", PromptChoice::kDeclined, false, untouched},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.restart);
    ScriptedIndicator indicator;
    indicator.choice = c.choice;
    Fresh();
    IModule* prompt = Load("CheckPromptRestart", &indicator);
    doc = J(std::string(R"({"InstallConfig": {"installer": {"restart": )") + c.restart + "}}}");
    EXPECT_EQ(0, prompt->Execute(doc));
    EXPECT_EQ(c.order, Order());
    if (c.asked) {
      ASSERT_EQ(1u, indicator.calls.size());
      EXPECT_EQ(
          "prompt:You must restart  your system to complete Orvex installation.|Restart Later|"
          "Restart Now|Do you want to restart your system now?.|0",
          indicator.calls[0]);
    } else {
      EXPECT_TRUE(indicator.calls.empty());
    }
    EXPECT_FALSE(doc["S"].isMember("PROMPT"));
  }
}

// The console indicator answers every question with 0: "Restart Later".
TEST_F(PromptStageTest, TheConsoleNeverRestarts) {
  CConsolePI console;
  IModule* prompt = Load("CheckPromptRestart", &console);
  doc = J(R"({"InstallConfig": {"installer": {"restart": true}}})");
  testing::internal::CaptureStdout();
  EXPECT_EQ(0, prompt->Execute(doc));
  testing::internal::GetCapturedStdout();
  EXPECT_EQ((Names{"FIRST", "PROMPT", "NEXT"}), Order());
}

// ---- .NET

TEST_F(PromptStageTest, DotNetDeclinedOrWithoutSessionDirectoryStops) {
  struct Case {
    const char* doc;
    std::deque<int> answers;
    int result;
    const char* error;  // compact JSON of the recorded "error"
    size_t questions;
  };
  const Case cases[] = {
      {R"({"InstallConfig": {"system": {"dotnet": {"prompt": false}}}})", {1, 1}, 0, "null", 0},
      {R"({"InstallConfig": {"system": {"dotnet": {"prompt": 0}}}})", {1, 1}, 0, "null", 0},
      {R"({"InstallConfig": {"system": {"dotnet": {"prompt": {}}}}})", {1, 1}, 0, "null", 0},
      // The flag is a step into a text: missing.
      {R"({"InstallConfig": {"system": "dotnet"}})", {1, 1}, 0, "null", 0},
      // A non-empty text is true, "0" included.
      {R"({"InstallConfig": {"system": {"dotnet": {"prompt": "0"}}}})",
       {0},
       -1,
       R"("DOTNET_INSTALL_ABORTED")",
       1},
      {R"({"InstallConfig": {"system": {"dotnet": {"prompt": true}}}})",
       {1},
       -1,
       R"("DOTNET_SESSION_DIR_MISSING")",
       1},
      {R"({"SessionDir": "", "InstallConfig": {"system": {"dotnet": {"prompt": true}}}})",
       {1},
       -1,
       R"("DOTNET_SESSION_DIR_MISSING")",
       1},
      {R"({"SessionDir": ["C:\\s"], "InstallConfig": {"system": {"dotnet": {"prompt": true}}}})",
       {1},
       -1,
       R"("DOTNET_SESSION_DIR_MISSING")",
       1},
      {R"({"SessionDir": "C:\\s", "InstallConfig": {"system": {"dotnet": {"prompt": true}}}})",
       {1, 0},
       -1,
       R"("DOTNET_RESTART_ABORTED")",
       2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.doc);
    Fresh();
    ScriptedIndicator indicator;
    indicator.answers = c.answers;
    IModule* prompt = Load("CheckPromptDOTNET", &indicator);
    doc = J(c.doc);
    EXPECT_EQ(c.result, prompt->Execute(doc));
    EXPECT_EQ(c.error, Error());
    EXPECT_EQ(c.questions, indicator.calls.size());
    EXPECT_EQ((Names{"FIRST", "PROMPT", "NEXT"}), Order());
  }
  ScriptedIndicator indicator;
  Fresh();
  indicator.answers = {1, 1};
  IModule* prompt = Load("CheckPromptDOTNET", &indicator);
  doc = J(R"({"SessionDir": "C:\\s", "InstallConfig": {"system": {"dotnet": {"prompt": 1}}}})");
  prompt->Execute(doc);
  EXPECT_EQ((std::vector<std::string>{
                "prompt:You need .NET version 4.0 or above to run Orvex. Do you want to install "
                "it?|Yes|Abort|This is a mandatory step. Orvex will not install without .NET 4.0 "
                "or above.|2",
                "prompt:This would launch the .NET installer which may require a restart.|"
                "Continue|Abort|Please run this installer again once the system is restarted.|0"}),
            indicator.calls);
}

// ---- graphics driver

TEST_F(PromptStageTest, GraphicsDriverQuestionsByFlags) {
  struct Case {
    const char* flags;  // members of .InstallConfig.display.driver
    int answer;
    int result;
    const char* error;
    const char* question;  // "" when none is asked
  };
  const char* const mandatoryOnly =
      "prompt:You need to upgrade your Graphics driver inorder to successfully install Orvex.|"
      "Help|Abort|Press Help to know more about this error.|2";
  const char* const mandatory =
      "prompt:You need to upgrade your Graphics driver inorder to successfully install Orvex. Do "
      "you want to upgrade it ?|Yes|Abort|This is a mandatory step. Orvex will not install "
      "without graphics driver upgrade.|1";
  const char* const optional =
      "prompt:Your Graphics driver seems to be outdated. Do you want to upgrade it ?|Yes|Skip|"
      "You can skip this step, but some applications may not run properly in Orvex.|1";
  const Case cases[] = {
      {R"({})", 1, 0, "null", ""},
      {R"({"prompt": false, "installmust": 0})", 1, 0, "null", ""},
      {R"({"installmust": true})", 0, -1, R"("NO_GRAPHICS_UPDATE_ABORTED")", mandatoryOnly},
      {R"({"installmust": true, "prompt": true})", 0, -1, R"("GRAPHICS_UPDATE_MUST_ABORTED")",
       mandatory},
      {R"({"prompt": "yes"})", 0, 0, "null", optional},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags);
    Fresh();
    ScriptedIndicator indicator;
    indicator.answers = {c.answer};
    IModule* prompt = Load("CheckPromptGPUDriver", &indicator);
    doc = J(std::string(R"({"InstallConfig": {"display": {"driver": )") + c.flags + "}}}");
    EXPECT_EQ(c.result, prompt->Execute(doc));
    EXPECT_EQ(c.error, Error());
    EXPECT_EQ(std::string(c.question).empty() ? std::vector<std::string>{}
                                              : std::vector<std::string>{c.question},
              indicator.calls);
    EXPECT_EQ((Names{"FIRST", "PROMPT", "NEXT"}), Order());
  }
}

// ---- the graphics failure handler

// A stage as the graphics injection leaves it: the three driver modules after the prompt,
// each with the handler.
class GpuFailureTest : public ::testing::Test {
 protected:
  void SetUp() override { g_cancelRequested = false; }
  void TearDown() override { g_cancelRequested = false; }

  void Build(const std::string& failing) {
    for (const char* name :
         {"PROMPT", "GET_DRIVER_URL", "GPU_DOWNLOADER", "GPU_INSTALLER", "NEXT"}) {
      auto* module = new FakeModule(name, &journal, name == failing ? -1 : 0);
      module->SetProgressIndicator(&indicator);
      stage->AddModule(module);
    }
    CStage* owner = stage.get();
    const std::vector<IModule*> modules = stage->GetModules();
    const std::vector<IModule*> injected(modules.begin() + 1, modules.begin() + 4);
    for (IModule* module : injected)
      stage->SetErrorHandler(module, [owner, injected](IModule* failed) {
        return GpuFailureHandler(failed, owner, injected);
      });
    stage->SetCallbackHandler(&callback);
  }

  void Fresh() {
    stage = std::make_unique<CStage>("S");
    journal.clear();
  }

  std::unique_ptr<CStage> stage = std::make_unique<CStage>("S");
  std::vector<std::string> journal;
  ScriptedIndicator indicator;
  RecordingCallback callback;
  Json::Value doc{Json::objectValue};
};

TEST_F(GpuFailureTest, ContinuingRemovesTheDriverInstallation) {
  const char* const question =
      "prompt:Graphics Driver install failed. Do you want to continue installing Orvex?|Yes|No|"
      "Don't worry we will prompt again when Orvex starts.|0";
  for (const std::string failing : {"GET_DRIVER_URL", "GPU_DOWNLOADER", "GPU_INSTALLER"}) {
    SCOPED_TRACE(failing);
    Fresh();
    journal.clear();
    indicator.calls.clear();
    callback.calls.clear();
    indicator.answers = {1};
    Build(failing);
    EXPECT_EQ(0, stage->Execute(&doc));
    // Only the installation goes: a failed address query still lets the download run.
    std::vector<std::string> expected{"exec:PROMPT", "exec:GET_DRIVER_URL", "exec:GPU_DOWNLOADER"};
    if (failing == "GPU_INSTALLER") expected.push_back("exec:GPU_INSTALLER");
    expected.push_back("exec:NEXT");
    EXPECT_EQ(expected, journal);
    EXPECT_EQ(std::vector<std::string>{question}, indicator.calls);
    EXPECT_EQ(std::vector<std::string>{"done:S"}, callback.calls);
    std::vector<std::string> left;
    for (IModule* module : stage->GetModules()) left.push_back(module->GetName());
    EXPECT_EQ((Names{"PROMPT", "GET_DRIVER_URL", "GPU_DOWNLOADER", "NEXT"}), left);
    EXPECT_EQ("completed", doc["S"]["status"]["progress"].asString());
  }
}

TEST_F(GpuFailureTest, NoLetsTheFailureStand) {
  indicator.answers = {0};
  Build("GPU_DOWNLOADER");
  EXPECT_EQ(-1, stage->Execute(&doc));
  EXPECT_EQ((std::vector<std::string>{"failed:S/GPU_DOWNLOADER"}), callback.calls);
  EXPECT_EQ((std::vector<std::string>{"exec:PROMPT", "exec:GET_DRIVER_URL", "exec:GPU_DOWNLOADER",
                                      "rollback:GET_DRIVER_URL", "rollback:PROMPT"}),
            journal);
  EXPECT_EQ(5u, stage->GetModules().size());
}

// The stop question confirmed while the download ran: going on without the driver withdraws
// the cancellation, so the rest of the stage still runs.
TEST_F(GpuFailureTest, ContinuingWithdrawsAPendingCancellation) {
  indicator.answers = {1};
  Build("GPU_DOWNLOADER");
  static_cast<FakeModule*>(stage->GetModules()[2])->onExecute = [](Json::Value&) {
    g_cancelRequested = true;
  };
  EXPECT_EQ(0, stage->Execute(&doc));
  EXPECT_FALSE(g_cancelRequested.load());
  EXPECT_EQ("exec:NEXT", journal.back());
}

TEST(GpuFailureHandler, WithoutAnIndicatorTheFailureStands) {
  std::vector<std::string> journal;
  CStage stage("S");
  auto* installer = new FakeModule("GPU_INSTALLER", &journal);
  stage.AddModule(installer);
  EXPECT_EQ(-1, GpuFailureHandler(installer, &stage, {installer}));
  EXPECT_EQ(1u, stage.GetModules().size());
  EXPECT_EQ(-1, AlwaysFail(installer));
}

// ---- VT and uninstallable, as far as no page opens

TEST_F(PromptStageTest, VirtualizationSkippedOrUnflagged) {
  for (const char* flag : {"false", "null", "0.0", "[]", "true"}) {
    SCOPED_TRACE(flag);
    Fresh();
    ScriptedIndicator indicator;  // answers 0: "Skip"
    IModule* prompt = Load("CheckPromptVT", &indicator);
    doc = J(std::string(R"({"InstallConfig": {"vt": {"prompt": )") + flag + "}}}");
    EXPECT_EQ(0, prompt->Execute(doc));
    EXPECT_EQ(std::string(flag) == "true" ? 1u : 0u, indicator.calls.size());
  }
}

TEST_F(PromptStageTest, UninstallableRecordsTheServiceErrorAndStops) {
  struct Case {
    const char* installer;
    int result;
    const char* error;
    const char* question;
  };
  const Case cases[] = {
      {R"({"install": true})", 0, "null", ""},
      {R"({"install": 1})", 0, "null", ""},
      {R"({"install": "no", "error": "X"})", 0, "null", ""},
      {R"({})", -1, R"("")", "prompt:|Help|Quit|Press help to get more help|2"},
      {R"({"install": false, "error": "OS_UNSUPPORTED", "reason": "Windows XP is not supported."})",
       -1, R"("OS_UNSUPPORTED")",
       "prompt:Windows XP is not supported.|Help|Quit|Press help to get more help|2"},
      // Odd types read as text or as nothing, never as a type error.
      {R"({"install": 0, "error": 404, "reason": {"text": "x"}, "help": ["a"]})", -1, R"("404")",
       "prompt:|Help|Quit|Press help to get more help|2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.installer);
    Fresh();
    ScriptedIndicator indicator;  // answers 0: "Quit"
    IModule* prompt = Load("CheckPromptUninstallable", &indicator);
    doc = J(std::string(R"({"InstallConfig": {"installer": )") + c.installer + "}}");
    EXPECT_EQ(c.result, prompt->Execute(doc));
    EXPECT_EQ(c.error, Error());
    EXPECT_EQ(std::string(c.question).empty() ? std::vector<std::string>{}
                                              : std::vector<std::string>{c.question},
              indicator.calls);
  }
  // A configuration that is no object at all reads as "not allowed".
  Fresh();
  IModule* prompt = Load("CheckPromptUninstallable", nullptr);
  doc = J(R"({"InstallConfig": "installer"})");
  EXPECT_EQ(-1, prompt->Execute(doc));
}

// ---- the console declines everything

TEST_F(PromptStageTest, TheConsoleDeclinesEveryQuestion) {
  struct Case {
    const char* className;
    const char* doc;
    int result;
    const char* error;
  };
  const Case cases[] = {
      {"CheckPromptDOTNET",
       R"({"SessionDir": "C:\\s", "InstallConfig": {"system": {"dotnet": {"prompt": true}}}})", -1,
       R"("DOTNET_INSTALL_ABORTED")"},
      {"CheckPromptGPUDriver",
       R"({"InstallConfig": {"display": {"driver": {"prompt": true, "installmust": true}}}})", -1,
       R"("GRAPHICS_UPDATE_MUST_ABORTED")"},
      {"CheckPromptGPUDriver",
       R"({"InstallConfig": {"display": {"driver": {"installmust": true}}}})", -1,
       R"("NO_GRAPHICS_UPDATE_ABORTED")"},
      {"CheckPromptGPUDriver", R"({"InstallConfig": {"display": {"driver": {"prompt": true}}}})", 0,
       "null"},
      {"CheckPromptVT", R"({"InstallConfig": {"vt": {"prompt": true}}})", 0, "null"},
      {"CheckPromptRestart", R"({"InstallConfig": {"installer": {"restart": true}}})", 0, "null"},
      {"CheckPromptUninstallable", R"({"InstallConfig": {"installer": {"error": "E"}}})", -1,
       R"("E")"},
      {"CheckPromptVersion",
       R"({"InstallConfig": {"installer": {"url": "http://dl/OrvexInstaller-2.0.6.8063.exe"}},
           "Config": {"product": {"name": "Orvex", "major_version": 2, "minor_version": 0,
                                  "sub_minor_version": 5}}})",
       -1, R"("ORVEX_UPGRADE_ABORTED")"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.className) + " " + c.doc);
    Fresh();
    CConsolePI console;
    IModule* prompt = Load(c.className, &console);
    doc = J(c.doc);
    testing::internal::CaptureStdout();
    EXPECT_EQ(c.result, prompt->Execute(doc));
    EXPECT_EQ("", testing::internal::GetCapturedStdout());
    EXPECT_EQ(c.error, Error());
    EXPECT_EQ((Names{"FIRST", "PROMPT", "NEXT"}), Order());
  }
}

}  // namespace
}  // namespace orvex

namespace orvex {
namespace {

// ---- injection into the running stage

TEST_F(PromptStageTest, AcceptedDotNetRunsDownloadExtractionAndSetupNext) {
  test::ScopedDevelopmentSetting download("DOWNLOAD_DOMAIN", "http://127.0.0.1:9/");
  ScriptedIndicator indicator;
  indicator.answers = {1, 1};
  IModule* prompt = Load("CheckPromptDOTNET", &indicator);
  doc = J(R"({"SessionDir": "C:\\s", "InstallConfig": {"system": {"dotnet": {"prompt": true}}}})");
  EXPECT_EQ(0, prompt->Execute(doc));
  EXPECT_EQ((Names{"FIRST", "PROMPT", "DOTNET_DOWNLOADER", "DOTNET_EXTRACTOR", "DOTNET_INSTALLER",
                   "NEXT"}),
            Order());
  std::vector<std::string> messages;
  for (IModule* module : stage->GetModules()) {
    EXPECT_EQ(&indicator, module->GetProgressIndicator()) << module->GetName();
    messages.push_back(module->GetMessage());
  }
  EXPECT_EQ((Names{"", "", "Downloading .Net installer", "", "Installing .Net", ""}), messages);
  EXPECT_FALSE(doc["S"].isMember("PROMPT"));
}

TEST_F(PromptStageTest, AcceptedDriverUpdateRunsQueryDownloadAndInstallationNext) {
  for (const char* flags : {R"({"prompt": true})", R"({"prompt": 1, "installmust": "yes"})"}) {
    SCOPED_TRACE(flags);
    Fresh();
    ScriptedIndicator indicator;
    indicator.answers = {1};
    IModule* prompt = Load("CheckPromptGPUDriver", &indicator);
    doc = J(std::string(R"({"InstallConfig": {"display": {"driver": )") + flags + "}}}");
    EXPECT_EQ(0, prompt->Execute(doc));
    EXPECT_EQ(
        (Names{"FIRST", "PROMPT", "GET_DRIVER_URL", "GPU_DOWNLOADER", "GPU_INSTALLER", "NEXT"}),
        Order());
  }
}

// The whole graphics road with a service that cannot be reached: the address query fails, the
// user goes on, GPU_INSTALLER goes; the download without an address fails too, the user goes
// on again, and the stage completes with the module after the prompt.
TEST_F(PromptStageTest, FailedDriverUpdateGoesOnWithoutTheInstallation) {
  test::ScopedDevelopmentSetting service("BASE_DOMAIN", "http://127.0.0.1:1/");
  ScriptedIndicator indicator;
  indicator.answers = {1, 1, 1, 1, 1, 1};
  RecordingCallback callback;
  Load("CheckPromptGPUDriver", &indicator);
  stage->SetCallbackHandler(&callback);
  doc = J(R"({"SessionDir": "C:\\s", "InstallConfig": {"display": {"driver": {"prompt": true}}}})");
  EXPECT_EQ(0, stage->Execute(&doc));
  EXPECT_EQ((Names{"FIRST", "PROMPT", "GET_DRIVER_URL", "GPU_DOWNLOADER", "NEXT"}), Order());
  EXPECT_EQ((std::vector<std::string>{"exec:FIRST", "exec:NEXT"}), journal);
  EXPECT_EQ((std::vector<std::string>{"done:S"}), callback.calls);
  EXPECT_EQ("completed", doc["S"]["status"]["progress"].asString());
  int continueQuestions = 0;
  for (const std::string& call : indicator.calls)
    continueQuestions += call.find("prompt:Graphics Driver install failed.") == 0;
  EXPECT_EQ(2, continueQuestions);
}

// Modules of the injected names that the prompt did not make: a configured GPU_INSTALLER
// before the prompt, or the three modules a first driver prompt injected before a second one
// runs. Each failure handler works on its own injection: the configured module stays and
// runs, every injected module that fails gets the question, the injected installation goes.
TEST_F(PromptStageTest, InjectedModulesAreTrackedByIdentityNotByName) {
  test::ScopedDevelopmentSetting service("BASE_DOMAIN", "http://127.0.0.1:1/");
  struct Case {
    const char* what;
    Names before;  // fake modules ahead of the prompt(s)
    int prompts;
    Names after;  // the stage's modules at the end
    std::vector<std::string> journal;
  };
  const std::vector<Case> cases = {
      {"a configured GPU_INSTALLER",
       {"GPU_INSTALLER"},
       1,
       {"GPU_INSTALLER", "PROMPT", "GET_DRIVER_URL", "GPU_DOWNLOADER", "NEXT"},
       {"exec:GPU_INSTALLER", "exec:NEXT"}},
      {"a second driver prompt",
       {},
       2,
       {"PROMPT", "GET_DRIVER_URL", "GPU_DOWNLOADER", "PROMPT", "GET_DRIVER_URL", "GPU_DOWNLOADER",
        "NEXT"},
       {"exec:NEXT"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh();
    ScriptedIndicator indicator;
    indicator.answers = std::deque<int>(8, 1);
    RecordingCallback callback;
    for (const std::string& name : c.before) stage->AddModule(new FakeModule(name, &journal));
    for (int i = 0; i < c.prompts; ++i) {
      IModule* prompt = CreateModuleByClass("CheckPromptGPUDriver");
      ASSERT_NE(nullptr, prompt);
      prompt->SetName("PROMPT");
      stage->AddModule(prompt);
    }
    stage->AddModule(new FakeModule("NEXT", &journal));
    stage->SetProgressIndicator(&indicator);
    stage->SetCallbackHandler(&callback);
    doc = J(R"({"InstallConfig": {"display": {"driver": {"prompt": true}}}})");
    doc["SessionDir"] = "C:\\s";
    EXPECT_EQ(0, stage->Execute(&doc));
    EXPECT_EQ(c.after, Order());
    EXPECT_EQ(c.journal, journal);
    EXPECT_EQ((std::vector<std::string>{"done:S"}), callback.calls);
    int continueQuestions = 0;
    for (const std::string& call : indicator.calls)
      continueQuestions += call.find("prompt:Graphics Driver install failed.") == 0;
    EXPECT_EQ(2 * c.prompts, continueQuestions);
  }
}

}  // namespace
}  // namespace orvex
