#pragma once
// Small fixtures shared by the engine tests.

#include <json/json.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/module.h"
#include "engine/progress.h"
#include "engine/stage.h"

namespace orvex {
namespace test {

// The whole content of a file as bytes; "" when it cannot be read.
std::string ReadFile(const std::string& path);

// Parses JSON text written in a test; fails the test on a syntax error.
Json::Value J(const std::string& text);

// Compact JSON text. Arrays grown by index are sparse inside jsoncpp, so documents are
// compared by their text rather than with operator==.
std::string Compact(const Json::Value& value);

// A module created through the registry as a configuration names its class, named "M",
// with the arguments (JSON text) and the indicator, initialised in the stage. Null, with the
// test failed, when the registry has no such class.
std::unique_ptr<IModule> MakeRegisteredModule(const std::string& className, const std::string& args,
                                              CStage& stage,
                                              IProgressIndicator* indicator = nullptr);

// Modules created through the registry, each named after its class, with its arguments (JSON
// text) and the indicator, added to the stage in the order given; the test fails when the
// registry lacks a class.
void AddRegisteredModules(CStage& stage,
                          const std::vector<std::pair<std::string, std::string>>& modules,
                          IProgressIndicator* indicator);

// A folder for files that the code under test reaches through platform/files.h and the test
// reads directly: the temporary folder on Windows; on the host the simulated machine's drive
// C: (the machine keeps every file path in its sandbox, host paths included).
std::filesystem::path ScratchRoot();

// The path the code under test is given for a file below ScratchRoot(): "C:\\..." on the host.
std::wstring PlatformPath(const std::filesystem::path& file);

// Sets an environment variable for the life of the object, then restores it.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

// A module that records what happened to it in a shared journal ("exec:NAME", "rollback:NAME")
// and returns the results it is told to.
class FakeModule : public CBasicModule {
 public:
  FakeModule(std::string moduleName, std::vector<std::string>* journal, int executeResult = 0,
             int rollbackResult = 0);
  int Execute(Json::Value& doc) override;
  int Rollback(Json::Value& doc) override;
  // Runs during Execute, before the result is returned.
  std::function<void(Json::Value&)> onExecute;

 private:
  std::vector<std::string>* journal_;
  int executeResult_;
  int rollbackResult_;
};

// An indicator that records every call, answers prompts with a fixed result.
class RecordingIndicator : public CBasicPI {
 public:
  void SetStatus(std::string text) override { calls.push_back("status:" + text); }
  void SetDetail(std::string text) override { calls.push_back("detail:" + text); }
  void ShowProgressBar() override { calls.push_back("bar:on"); }
  void HideProgressBar() override { calls.push_back("bar:off"); }
  void SetProgress(int percent) override { calls.push_back("progress:" + std::to_string(percent)); }
  void SetStep(int index, int count) override {
    calls.push_back("step:" + std::to_string(index) + "/" + std::to_string(count));
  }
  int Prompt(std::string message, std::string ok, std::string cancel, std::string detail,
             int severity) override {
    calls.push_back("prompt:" + message + "|" + ok + "|" + cancel + "|" + detail + "|" +
                    std::to_string(severity));
    return promptAnswer;
  }
  std::vector<std::string> calls;
  int promptAnswer = 0;
};

// A callback handler that records calls and answers OnModuleFailed with a fixed result.
class RecordingCallback : public CBasicCB {
 public:
  int OnModuleFailed(Json::Value*, std::string stage, std::string module) override {
    calls.push_back("failed:" + stage + "/" + module);
    return failedAnswer;
  }
  void OnStageDone(Json::Value*, std::string stage) override { calls.push_back("done:" + stage); }
  std::vector<std::string> calls;
  int failedAnswer = -1;
};

}  // namespace test
}  // namespace orvex
