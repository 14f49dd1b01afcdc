#include "engine/placeholders.h"

#include "base/json_text.h"
#include "base/text.h"

namespace orvex {

std::string ReplacePlaceholders(std::string text, const Json::Value& sessionVariables) {
  if (!sessionVariables.isObject()) return text;
  // Object members iterate in ascending byte order of their names.
  for (auto it = sessionVariables.begin(); it != sessionVariables.end(); ++it) {
    if (!it->isString()) continue;
    ReplaceAll(text, "%" + it.name() + "%", it->asString());
  }
  return text;
}

bool ParseSnippet(std::string snippet, Json::Value& out) {
  ReplaceAll(snippet, "'", "\"");
  return ParseJson(snippet, out);
}

}  // namespace orvex
