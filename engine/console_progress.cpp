#include "engine/console_progress.h"

#include <cstdio>

#include "base/json_text.h"

namespace orvex {

namespace {
// Each line is flushed so that the console shows it at once and a reader of both streams
// sees them in the order they were written.
void Out(std::FILE* stream, const char* format, const std::string& a = std::string(),
         const std::string& b = std::string()) {
  std::fprintf(stream, format, a.c_str(), b.c_str());
  std::fflush(stream);
}
}  // namespace

void CConsolePI::SetStatus(std::string text) { Out(stdout, "%s\n", text); }

void CConsolePI::SetDetail(std::string text) { Out(stdout, "%s\n", text); }

void CConsolePI::ShowProgressBar() { Out(stdout, "Progress Bar On\n"); }

void CConsolePI::HideProgressBar() { Out(stdout, "Progress Bar Off\n"); }

void CConsolePI::SetProgress(int percent) {
  std::printf("Progress - %d\r", percent);
  std::fflush(stdout);
}

int CDefaultCB::OnModuleFailed(Json::Value* doc, std::string stageName, std::string moduleName) {
  Json::Value& record = (*doc)[stageName][moduleName];
  std::string reason = JsonText(record["reason"]);
  std::string error = JsonText(record["error"]);
  Out(stderr, "Stage/Module Failed   [%s/%s]\n", stageName, moduleName);
  Out(stderr, "Failure reason [%s]\n", reason);
  Out(stderr, "Failure error  [%s]\n", error);
  return -1;
}

void CDefaultCB::OnStageDone(Json::Value*, std::string stageName) {
  Out(stdout, "Stage Done   [%s]\n", stageName);
}

}  // namespace orvex
