// orvex-installer: the installer session on the console. It runs an installation
// configuration with the console indicator and callback handler; standard output and standard
// error carry only what they and the modules print.
//
// Exit status: 0 when the stage "LastStage" completed, 1 when a plan ran and did not complete,
// 2 when there was no configuration or it could not be loaded (not JSON, or a stage's "on"
// condition with a regular expression that cannot be matched), 3 when an exception escaped
// the run.

#include <cstdio>
#include <exception>

#include "app/install_report.h"
#include "app/installer_session.h"
#include "app/module_table.h"
#include "engine/console_progress.h"

int main() {
  orvex::RegisterModuleTable();
  orvex::SetInstallReportHook(&orvex::telemetry::SendInstallReport);
  orvex::CConsolePI console;
  orvex::SessionSettings settings;
  settings.ui = "console";
  settings.progress = "PIConsole";
  settings.indicator = &console;
  try {
    orvex::SessionResult result = orvex::RunInstallerSession(settings);
    switch (result.outcome) {
      case orvex::SessionResult::kNoConfiguration:
        return 2;
      case orvex::SessionResult::kInvalidConfiguration:
        std::fprintf(stderr, "orvex-installer: the configuration is not valid: %s\n",
                     result.parseError.c_str());
        return 2;
      case orvex::SessionResult::kRan:
        return result.completed ? 0 : 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "orvex-installer: the run stopped on an exception: %s\n", e.what());
    return 3;
  } catch (...) {
    std::fprintf(stderr, "orvex-installer: the run stopped on an unknown exception\n");
    return 3;
  }
  return 3;
}
