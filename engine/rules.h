#pragma once
// Rule sets: default values written under a base node, then actions of the rules whose
// conditions hold.

#include <json/json.h>

namespace orvex {

// Writes "value" at "path" below base. A "value" that is a value path copies the node found
// there (from the document root, looked up with creation); anything else is written as is.
void ApplyAction(const Json::Value& action, Json::Value& base, Json::Value& doc);

// Applies ruleSet's "defaults", then the actions of each rule in "rules" whose "cond" holds
// for the whole document. Later conditions see what earlier actions wrote.
void RunRuleSet(const Json::Value& ruleSet, Json::Value& doc);

}  // namespace orvex
