#pragma once
// "%NAME%" placeholders in configuration text, and the single-quoted module snippets that the
// installer carries as string literals.

#include <json/json.h>

#include <string>

namespace orvex {

// Replaces "%NAME%" by the value of every string session variable NAME, variables taken in
// ascending byte order of their names. Values are inserted verbatim (no JSON escaping);
// placeholders of unknown or non-string variables stay as they are.
std::string ReplacePlaceholders(std::string text, const Json::Value& sessionVariables);

// Turns a single-quoted snippet such as "{'class' : 'RestartSystem', 'args' : {}}," into JSON:
// every single quote becomes a double quote and the first complete value is parsed, trailing
// text ignored. Returns false when the text does not parse.
bool ParseSnippet(std::string snippet, Json::Value& out);

}  // namespace orvex
