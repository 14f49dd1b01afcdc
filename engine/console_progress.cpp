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

// node[key], created as a lookup with creation makes it; null when node holds no members.
Json::Value* Child(Json::Value* node, const std::string& key) {
  if (!node || !(node->isNull() || node->isObject())) return nullptr;
  return &(*node)[key];
}

// The text of doc[stage][module][key]. Whatever a module, an Injector or a rule left there
// is printed as well as it can be: a number as its digits, anything else odd as "".
std::string RecordText(Json::Value* doc, const std::string& stageName,
                       const std::string& moduleName, const char* key) {
  const Json::Value* value = Child(Child(Child(doc, stageName), moduleName), key);
  return value ? TolerantText(*value) : std::string();
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
  const std::string reason = RecordText(doc, stageName, moduleName, "reason");
  const std::string error = RecordText(doc, stageName, moduleName, "error");
  Out(stderr, "Stage/Module Failed   [%s/%s]\n", stageName, moduleName);
  Out(stderr, "Failure reason [%s]\n", reason);
  Out(stderr, "Failure error  [%s]\n", error);
  return -1;
}

void CDefaultCB::OnStageDone(Json::Value*, std::string stageName) {
  Out(stdout, "Stage Done   [%s]\n", stageName);
}

}  // namespace orvex
