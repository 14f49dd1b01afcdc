#pragma once
// The installer session without its window: obtain the configuration, seed the session
// variables, load and run the plan, tell whether "LastStage" completed, dump the document.

#include <json/json.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/run_flags.h"
#include "engine/install_plan.h"
#include "platform/process.h"

namespace orvex {

class IProgressIndicator;

// "THIS_SESSION": year, month, day, hour, minute, second without zero padding, e.g.
// 2016-02-05 09:03:07 gives "201625-937".
std::string MakeSessionId(const platform::LocalTime& time);

// The executable's path cut before its last "\" or "/"; the whole path when there is none.
std::string GetExeDirectory();

// The variables every session starts with, in the order they are set. ui and progress name
// the front end ("dialog"/"PIDialog" or "console"/"PIConsole"). Every backslash of exeDirectory
// becomes four in "CURRENT_DIR", so that a JSON string receiving it holds two.
void SeedSessionVariables(Json::Value& variables, const std::string& ui,
                          const std::string& progress, const std::string& exeDirectory,
                          const platform::LocalTime& now);

// NAME=VALUE entries as session variables: "true"/"false" become booleans, names beginning
// with "N" the integer at the start of the value, anything else a string.
void ImportEnvironment(Json::Value& variables, const std::vector<std::string>& entries);

// The configuration text: the development file when the development setting (see
// platform/development_settings.h) QUARN_OI_RUNMODE is "development", else
// the web service's answer to GetBaseUrl() + "/index/getinstallconfig". "" when there is none;
// when the service's certificate could not be verified, *certificateFailure (when given) gets
// the text that says so.
std::string GetInstallConfig(std::string* certificateFailure = nullptr);
std::string ReadDevInstallConfig();
std::string DownloadInstallConfig(std::string* certificateFailure = nullptr);

// Writes the document, styled, to "orvex_installer_dump.json" in the current directory when
// the development setting "orvex_installer_dump" is set and not empty.
void DumpStateIfRequested(const Json::Value& doc);

struct SessionSettings {
  std::string ui;                           // the "ui" session variable
  std::string progress;                     // the "PROGRESS" session variable
  IProgressIndicator* indicator = nullptr;  // asks the retry question and shows the outcome
  // Called once the plan has run and the document is dumped, with whether "LastStage"
  // completed (the window sets its flags and marks "Done").
  std::function<void(bool completed)> onPlanFinished;
};

struct SessionResult {
  enum Outcome { kNoConfiguration, kInvalidConfiguration, kRan };
  Outcome outcome = kNoConfiguration;
  bool completed = false;  // ".LastStage.status.progress" is "completed"
  std::string parseError;  // for kInvalidConfiguration
  // The plan that ran; g_plan points at it for as long as the caller keeps the result.
  std::unique_ptr<CInstallPlan> plan;
  // After the plan: it ends first, and g_plan is null before the plan is destroyed.
  PlanRegistration registration;

  // Keeps the plan, and g_plan pointing at it, for the rest of the process (the crash report
  // reads it after the session has ended).
  void KeepPlanForProcess() {
    registration.KeepForProcess();
    (void)plan.release();
  }
};

// Runs one session. Exceptions from the configuration's modules and rules propagate; the
// plan is then destroyed and g_plan cleared (one that nothing catches leaves the stack, and the
// plan in g_plan, as they were for the crash report: nothing unwinds).
SessionResult RunInstallerSession(const SessionSettings& settings);

}  // namespace orvex
