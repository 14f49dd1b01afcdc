#include "engine/conditions.h"

#include <string>

#include "base/json_text.h"
#include "engine/value_path.h"
#include "engine/whole_match.h"

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

bool Matches(const Json::Value& condition, const Json::Value& context, bool ignoreCase) {
  const Json::Value& left = Left(condition, context);
  if (!left.isString()) return false;
  return MatchesWhole(left.asString(), JsonText(Member(condition, "right")), ignoreCase);
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
