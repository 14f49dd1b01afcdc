#include "engine/rules.h"

#include "engine/conditions.h"
#include "base/json_text.h"
#include "engine/value_path.h"

namespace orvex {

void ApplyAction(const Json::Value& action, Json::Value& base, Json::Value& doc) {
  // Anything but an object names no path; read as the empty path it would overwrite the
  // whole base node.
  if (!action.isObject()) return;
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
  if (target) *target = std::move(copy);
}

void RunRuleSet(const Json::Value& ruleSet, Json::Value& doc) {
  Json::Value* base = MakePath(doc, JsonText(Member(ruleSet, "base")));
  if (!base) return;  // the base path runs into a value that cannot hold members
  ForEachElement(Member(ruleSet, "defaults"),
                 [&](const Json::Value& action) { ApplyAction(action, *base, doc); });
  ForEachElement(Member(ruleSet, "rules"), [&](const Json::Value& rule) {
    if (!EvaluateCondition(Member(rule, "cond"), doc)) return;
    const Json::Value& action = Member(rule, "action");
    if (action.isNull()) return;
    if (action.isArray())
      ForEachElement(action, [&](const Json::Value& one) { ApplyAction(one, *base, doc); });
    else
      ApplyAction(action, *base, doc);
  });
}

}  // namespace orvex
