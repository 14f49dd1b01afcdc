#pragma once
// Rule conditions: JSON objects that compare a node found by a value path with a literal,
// test it against a regular expression, or combine other conditions with "and" / "or".

#include <json/json.h>

namespace orvex {

// Whether condition holds in context. Never changes context. Configuration errors (a
// non-numeric bound for "lt"/"gt", a number where a path is expected, an invalid pattern)
// surface as the JSON library's exceptions or as InvalidPattern (engine/whole_match.h).
bool EvaluateCondition(const Json::Value& condition, const Json::Value& context);

}  // namespace orvex
