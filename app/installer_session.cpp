#include "app/installer_session.h"

#include <curl/curl.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "actions/download_cache.h"
#include "actions/http_request.h"
#include "base/json_text.h"
#include "base/text.h"
#include "common/run_flags.h"
#include "common/web_service.h"
#include "engine/install_plan.h"
#include "engine/progress.h"
#include "engine/stage.h"
#include "engine/stage_loader.h"
#include "engine/value_path.h"
#include "platform/development_settings.h"
#include "platform/environment.h"

namespace orvex {

namespace {

const char kDumpFile[] = "orvex_installer_dump.json";

// The integer at the start of text (optional sign, decimal digits), 0 when there is none;
// values beyond the 32-bit range are clamped to it.
int LeadingInteger(const std::string& text) {
  std::size_t pos = 0;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) negative = text[pos++] == '-';
  long long value = 0;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    value = value * 10 + (text[pos] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  return static_cast<int>(value);
}

}  // namespace

std::string MakeSessionId(const platform::LocalTime& t) {
  char buffer[128];
  std::snprintf(buffer, sizeof buffer, "%d%d%d-%d%d%d", t.year, t.month, t.day, t.hour, t.minute,
                t.second);
  return buffer;
}

std::string GetExeDirectory() {
  std::string path = platform::ExecutablePath();
  std::size_t cut = path.find_last_of("\\/");
  return cut == std::string::npos ? path : path.substr(0, cut);
}

void SeedSessionVariables(Json::Value& variables, const std::string& ui,
                          const std::string& progress, const std::string& exeDirectory,
                          const platform::LocalTime& now) {
  std::string currentDir = exeDirectory;
  ReplaceAll(currentDir, "\\", "\\\\\\\\");
  variables["ui"] = ui;
  variables["THIS_SESSION"] = MakeSessionId(now);
  variables["PROGRAM_INSTALL_DIR"] = "D:\\\\development\\\\orvex";
  variables["CONNECT_CHECK_URI"] = kProductSiteHost;
  variables["PROGRESS"] = progress;
  variables["BASE_URL"] = GetBaseUrl();
  variables["CURRENT_DIR"] = currentDir;
}

void ImportEnvironment(Json::Value& variables, const std::vector<std::string>& entries) {
  for (const std::string& entry : entries) {
    std::size_t equals = entry.find('=');
    if (equals == std::string::npos) continue;
    std::string name = entry.substr(0, equals);
    std::string value = entry.substr(equals + 1);
    if (value == "true")
      variables[name] = true;
    else if (value == "false")
      variables[name] = false;
    else if (!name.empty() && name[0] == 'N')
      variables[name] = LeadingInteger(value);
    else
      variables[name] = value;
  }
}

std::string ReadDevInstallConfig() {
  std::string path = platform::DevelopmentSetting("QUARN_OI_DEV_CONFIG");
  if (path.empty()) path = GetExeDirectory() + platform::PathSeparator() + "oi_config_dev";
  path += ".json";
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return std::string();
  std::string text;
  char buffer[65536];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
  std::fclose(file);
  return text.substr(0, text.find('\0'));
}

std::string DownloadInstallConfig(std::string* certificateFailure) {
  std::string text;
  try {
    CHttpRequest request(curl_easy_init());
    if (request.Send(GetBaseUrl() + "/index/getinstallconfig", text) != 0) return std::string();
  } catch (const COrvexException& failure) {
    if (certificateFailure && failure.code == COrvexException::kUnverifiedServer)
      *certificateFailure = failure.text;
    return std::string();
  }
  return text;
}

std::string GetInstallConfig(std::string* certificateFailure) {
  if (platform::DevelopmentSetting("QUARN_OI_RUNMODE") == "development")
    return ReadDevInstallConfig();
  return DownloadInstallConfig(certificateFailure);
}

void DumpStateIfRequested(const Json::Value& doc) {
  if (platform::DevelopmentSetting("orvex_installer_dump").empty()) return;
  std::FILE* file = std::fopen(kDumpFile, "w");
  if (!file) return;
  std::fprintf(file, "%s", StyledJson(doc).c_str());
  std::fclose(file);
}

SessionResult RunInstallerSession(const SessionSettings& settings) {
  SessionResult result;
  IProgressIndicator* ui = settings.indicator;
  const std::string message =
      std::string("Could not get configuration data from ") + kProductSiteHost + ".";
  const std::string offline = "An internet connection is required to continue installation.";
  std::string text;
  std::string certificateFailure;
  while ((text = GetInstallConfig(&certificateFailure)).empty()) {
    // A refused certificate is said as it is: no connection would not be the truth.
    const std::string detail = certificateFailure.empty() ? offline : certificateFailure;
    certificateFailure.clear();
    if (ui && ui->Prompt(message, "Retry", "Quit", detail, 0) == 1) continue;
    if (ui) ui->SetStatus("Installation aborted");
    result.outcome = SessionResult::kNoConfiguration;
    return result;
  }

  CStageLoader loader;
  Json::Value& variables = loader.SessionVariables();
  SeedSessionVariables(variables, settings.ui, settings.progress, GetExeDirectory(),
                       platform::CurrentLocalTime());
  if (!platform::DevelopmentSetting("QUARN_OI_RUNMODE").empty())
    ImportEnvironment(variables, platform::EnvironmentEntries());

  result.plan.reset(loader.Load(text, &result.parseError));
  if (!result.plan) {
    result.outcome = SessionResult::kInvalidConfiguration;
    return result;
  }
  result.outcome = SessionResult::kRan;
  result.registration = PlanRegistration(result.plan.get());
  if (ui) ui->SetStep(0, static_cast<int>(result.plan->stages.size()));
  RunPlan();
  const Json::Value& last = FindPath(result.plan->doc, ".LastStage.status.progress");
  result.completed = last.isString() && last.asString() == "completed";
  // An installation that completed needs its downloads no more; one that did not keeps them
  // in the cache for the next run.
  if (result.completed) RemoveCacheEntriesUsedThisRun();
  // The dump is written before the front end hears that the session has finished: the window
  // may close (and the process end) at once after that, and "Done" must already know whether
  // the installation completed.
  DumpStateIfRequested(result.plan->doc);
  if (settings.onPlanFinished) settings.onPlanFinished(result.completed);
  return result;
}

}  // namespace orvex
