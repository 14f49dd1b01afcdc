#include "prompts/prompt_reads.h"

#include "base/json_text.h"
#include "engine/progress.h"
#include "engine/value_path.h"

namespace orvex {

std::string ConfigText(const Json::Value& doc, const std::string& path) {
  return TolerantText(FindPath(doc, path));
}

bool ConfigFlag(const Json::Value& doc, const std::string& path) {
  return JsonTruth(FindPath(doc, path));
}

int Ask(IProgressIndicator* progress, const std::string& message, const std::string& okCaption,
        const std::string& cancelCaption, const std::string& detail, int severity) {
  if (!progress) return 0;
  return progress->Prompt(message, okCaption, cancelCaption, detail, severity);
}

}  // namespace orvex
