// The test build of the window program (orvex-crash-installer.exe): the product's sources
// with this file in place of its telemetry hook. After the installation report the hook crashes
// the program the way ORVEX_TEST_CRASH says, on the session thread with the plan loaded:
//   access-violation   a write through a null pointer
//   exception          a C++ exception that escapes the session thread
//   abort              abort()
//   two-threads        a second thread and the session thread fault at the same time
//   in-crash-path      an access violation, and another one inside the crash dialog
//   at-start           an access violation on the window's thread before the window opens
//                      (no plan yet)
// Before it crashes it writes the session document, styled, to crash-expected-document.json.
// ORVEX_TEST_CRASH_ANSWER ("send" or "dont-send") answers the crash dialog without showing it.
// Nothing of this is in OrvexWebInstaller.exe.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>

#include "app/crash_handler.h"
#include "app/install_report.h"
#include "app/win32/telemetry_hook.h"
#include "base/json_text.h"
#include "engine/install_plan.h"

namespace orvex {

namespace {

std::string Variable(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

void WriteThrough(volatile int* pointer) { *pointer = 1; }

void Fault() { WriteThrough(nullptr); }

void AnswerSend() { SendCrashReport(); }
void AnswerDontSend() {}
void FaultInDialog() { Fault(); }

void CrashAfterReport(bool success, Json::Value document, Json::Value failedStage) {
  telemetry::SendInstallReport(success, document, failedStage);
  if (std::FILE* file = std::fopen("crash-expected-document.json", "w")) {
    std::fprintf(file, "%s", StyledJson(document).c_str());
    std::fclose(file);
  }
  const std::string how = Variable("ORVEX_TEST_CRASH");
  if (how == "access-violation" || how == "in-crash-path") Fault();
  if (how == "exception") throw std::runtime_error("escaping the session thread");
  if (how == "abort") std::abort();
  if (how == "two-threads") {
    std::thread other(&Fault);
    Fault();
    other.join();
  }
}

}  // namespace

void InstallTelemetryHook() {
  SetInstallReportHook(&CrashAfterReport);
  const std::string answer = Variable("ORVEX_TEST_CRASH_ANSWER");
  if (Variable("ORVEX_TEST_CRASH") == "in-crash-path")
    SetCrashDialogHook(&FaultInDialog);
  else if (answer == "send")
    SetCrashDialogHook(&AnswerSend);
  else if (answer == "dont-send")
    SetCrashDialogHook(&AnswerDontSend);
  if (Variable("ORVEX_TEST_CRASH") == "at-start") Fault();
}

}  // namespace orvex
