#include "engine/rules_runner.h"

#include "base/json_text.h"
#include "engine/rules.h"

namespace orvex {

int CRulesRunner::Execute(Json::Value& doc) {
  const Json::Value& rules = Member(args, "rules");
  if (rules.isNull()) return 0;
  const auto mayStore = [&](const Json::Value* target, const Json::Value& value) {
    return MayStore(doc, target, value);
  };
  std::string invalidPattern;
  const int refused = RunRuleSet(rules, doc, mayStore, &invalidPattern);
  if (!invalidPattern.empty()) {
    // The rules whose patterns could be matched were applied; that one never fires.
    RecordResult(doc, "fatal", invalidPattern, "INVALID_PATTERN");
    return -1;
  }
  if (refused == 0) return 0;
  // An action's path ran into a value that holds no members, or named a record the run
  // writes into; the other actions were applied.
  RecordResult(doc, "failed", "Not able to store a value of the rule set", "PATH_NOT_WRITABLE");
  return -1;
}

}  // namespace orvex
