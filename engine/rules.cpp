#include "engine/rules.h"

#include "base/json_text.h"
#include "engine/conditions.h"
#include "engine/value_path.h"
#include "engine/whole_match.h"

namespace orvex {

StoreCheck RootKeepsObjects(const Json::Value& doc) {
  return [&doc](const Json::Value* target, const Json::Value& value) {
    return target && (target != &doc || value.isObject());
  };
}

bool ApplyAction(const Json::Value& action, Json::Value& base, Json::Value& doc,
                 const StoreCheck& mayStore) {
  // Anything but an object names no path; read as the empty path it would overwrite the
  // whole base node.
  if (!action.isObject()) return true;
  Json::Value* target = MakePath(base, JsonText(Member(action, "path")));
  const Json::Value& value = Member(action, "value");
  // Copy before assigning: the source may lie inside the target or the other way round.
  Json::Value copy;
  if (IsValuePath(value)) {
    const Json::Value* source = MakePath(doc, value.asString());
    if (source) copy = *source;
  } else {
    copy = value;
  }
  if (!mayStore(target, copy)) return false;
  *target = std::move(copy);
  return true;
}

namespace {

// A pattern that cannot be matched is the configuration's fault, not the run's: the rule does
// not fire and the caller hears of it.
bool Holds(const Json::Value& condition, const Json::Value& doc, std::string* invalidPattern) {
  try {
    return EvaluateCondition(condition, doc);
  } catch (const InvalidPattern& fault) {
    if (invalidPattern && invalidPattern->empty()) *invalidPattern = fault.what();
    return false;
  }
}

}  // namespace

int RunRuleSet(const Json::Value& ruleSet, Json::Value& doc, const StoreCheck& mayStore,
               std::string* invalidPattern) {
  Json::Value* base = MakePath(doc, JsonText(Member(ruleSet, "base")));
  if (!base) return 0;  // the base path runs into a value that cannot hold members
  int refused = 0;
  const auto apply = [&](const Json::Value& action) {
    if (!ApplyAction(action, *base, doc, mayStore)) ++refused;
  };
  ForEachElement(Member(ruleSet, "defaults"), apply);
  ForEachElement(Member(ruleSet, "rules"), [&](const Json::Value& rule) {
    if (!Holds(Member(rule, "cond"), doc, invalidPattern)) return;
    const Json::Value& action = Member(rule, "action");
    if (action.isNull()) return;
    if (action.isArray())
      ForEachElement(action, apply);
    else
      apply(action);
  });
  return refused;
}

}  // namespace orvex
