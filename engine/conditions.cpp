#include "engine/conditions.h"

#include <regex>
#include <string>

#include "base/json_text.h"
#include "engine/value_path.h"

namespace orvex {

namespace {

const Json::Value& Left(const Json::Value& condition, const Json::Value& context) {
  return FindPath(context, JsonText(Member(condition, "left")));
}

// Equality only between two signed integers, two booleans or two strings. Integers are
// compared whole: cutting them to 32 bits would make 4294967296 equal 0.
bool SameKindAndValue(const Json::Value& a, const Json::Value& b) {
  if (a.type() != b.type()) return false;
  switch (a.type()) {
    case Json::intValue:
      return a.asInt64() == b.asInt64();
    case Json::booleanValue:
      return a.asBool() == b.asBool();
    case Json::stringValue:
      return a.asString() == b.asString();
    default:
      return false;
  }
}

bool Compare(const Json::Value& condition, const Json::Value& context, bool less) {
  const Json::Value& left = Left(condition, context);
  if (left.type() != Json::intValue) return false;
  Json::Int64 bound = JsonToInt32(Member(condition, "right"));
  Json::Int64 value = left.asInt64();
  return less ? value < bound : value > bound;
}

// The regular-expression library reads back-reference numbers and repeat counts into an int
// without checking for overflow; numbers that long are refused as invalid patterns first.
void RefuseOversizedNumbers(const std::string& pattern) {
  constexpr std::size_t kMaxDigits = 9;
  bool inBraces = false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    bool counted = inBraces;
    if (c == '\\' && i + 1 < pattern.size()) {
      ++i;  // the escaped character; digits after it form a back-reference
      counted = true;
      c = pattern[i];
    } else if (c == '{') {
      inBraces = true;
      continue;
    } else if (c == '}') {
      inBraces = false;
      continue;
    }
    if (!counted || c < '0' || c > '9') continue;
    std::size_t digits = 0;
    while (i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9') ++digits, ++i;
    --i;
    if (digits > kMaxDigits) throw std::regex_error(std::regex_constants::error_badbrace);
  }
}

// The regular-expression library compiles patterns by recursion, several frames per nested
// group: 30,000 nested groups overflow the 8 MiB stack of a Linux thread, 10,000 the stack
// of a Windows thread. Conditions compare versions, vendor names and the like; 100 nested
// groups and 4096 characters are far beyond what they need and far within either stack.
void RefuseOversizedPatterns(const std::string& pattern) {
  constexpr std::size_t kMaxLength = 4096;
  constexpr int kMaxGroupDepth = 100;
  if (pattern.size() > kMaxLength) throw std::regex_error(std::regex_constants::error_complexity);
  int depth = 0;
  bool inClass = false;  // inside [...], where a parenthesis is an ordinary character
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '\\') {
      ++i;
    } else if (inClass) {
      inClass = c != ']';
    } else if (c == '[') {
      inClass = true;  // ECMAScript: "[]" is an empty class, the "]" closes it
    } else if (c == '(') {
      if (++depth > kMaxGroupDepth)
        throw std::regex_error(std::regex_constants::error_complexity);
    } else if (c == ')' && depth > 0) {
      --depth;
    }
  }
}

bool Matches(const Json::Value& condition, const Json::Value& context, bool ignoreCase) {
  const Json::Value& left = Left(condition, context);
  if (!left.isString()) return false;
  // Breadth-first matching (a libstdc++ extension) keeps the time polynomial and the stack
  // depth independent of the subject's length; back-references are then refused as errors.
  auto flags = std::regex::ECMAScript | std::regex_constants::__polynomial;
  if (ignoreCase) flags |= std::regex::icase;
  const std::string text = JsonText(Member(condition, "right"));
  RefuseOversizedPatterns(text);
  RefuseOversizedNumbers(text);
  std::regex pattern(text, flags);
  return std::regex_match(left.asString(), pattern);
}

bool All(const Json::Value& conditions, const Json::Value& context) {
  if (!conditions.isArray()) return true;
  for (Json::ArrayIndex i = 0; i < conditions.size(); ++i)
    if (!EvaluateCondition(conditions[i], context)) return false;
  return true;
}

bool Any(const Json::Value& conditions, const Json::Value& context) {
  if (!conditions.isArray()) return false;
  for (Json::ArrayIndex i = 0; i < conditions.size(); ++i)
    if (EvaluateCondition(conditions[i], context)) return true;
  return false;
}

}  // namespace

bool EvaluateCondition(const Json::Value& condition, const Json::Value& context) {
  const std::string type = JsonText(Member(condition, "type"));
  if (type == "and") return All(Member(condition, "value"), context);
  if (type == "or") return Any(Member(condition, "value"), context);
  if (type == "eq" || type == "ne") {
    bool equal = SameKindAndValue(Left(condition, context), Member(condition, "right"));
    return type == "eq" ? equal : !equal;
  }
  if (type == "lt") return Compare(condition, context, true);
  if (type == "gt") return Compare(condition, context, false);
  if (type == "regex_match") return Matches(condition, context, false);
  if (type == "regex_notmatch") return !Matches(condition, context, false);
  if (type == "regex_imatch") return Matches(condition, context, true);
  if (type == "regex_notimatch") return !Matches(condition, context, true);
  return false;
}

}  // namespace orvex
