#pragma once
// Rule sets: default values written under a base node, then actions of the rules whose
// conditions hold.

#include <json/json.h>

#include <functional>
#include <string>

namespace orvex {

// Whether a value may replace a target node (null when the path ran into a value that holds
// no members). The RulesRunner module passes its own check of the records the run writes into.
using StoreCheck = std::function<bool(const Json::Value* target, const Json::Value& value)>;

// Only an object may replace doc itself.
StoreCheck RootKeepsObjects(const Json::Value& doc);

// Writes "value" at "path" below base. A "value" that is a value path copies the node found
// there (from the document root, looked up with creation); anything else is written as is.
// False, with nothing written, when mayStore refuses the target.
bool ApplyAction(const Json::Value& action, Json::Value& base, Json::Value& doc,
                 const StoreCheck& mayStore);

// Applies ruleSet's "defaults", then the actions of each rule in "rules" whose "cond" holds
// for the whole document. Later conditions see what earlier actions wrote. Returns the number
// of actions whose target mayStore refused; the other actions are applied all the same.
// A condition whose regular expression cannot be matched (InvalidPattern) does not hold; the
// first such fault's text goes to *invalidPattern when it is given.
int RunRuleSet(const Json::Value& ruleSet, Json::Value& doc, const StoreCheck& mayStore,
               std::string* invalidPattern = nullptr);
inline int RunRuleSet(const Json::Value& ruleSet, Json::Value& doc) {
  return RunRuleSet(ruleSet, doc, RootKeepsObjects(doc));
}

}  // namespace orvex
