#include "engine/rules_runner.h"

#include "base/json_text.h"
#include "engine/rules.h"

namespace orvex {

int CRulesRunner::Execute(Json::Value& doc) {
  const Json::Value& rules = Member(args, "rules");
  if (!rules.isNull()) RunRuleSet(rules, doc);
  return 0;
}

}  // namespace orvex
