#pragma once
// Conversions between JSON nodes and the narrow texts the engine works with.
//
// The engine's configuration format treats only strings, booleans and null as text: a number
// or a container where a text is expected is a configuration error that surfaces as the JSON
// library's type error, exactly as older jsoncpp releases raised it.

#include <json/json.h>

#include <string>

namespace orvex {

// The text of a node: strings as they are, booleans as "true"/"false", null as "".
// Throws Json::LogicError("Type is not convertible to string") for numbers and containers.
std::string JsonText(const Json::Value& value);

// The text of a node for reports and prompts, which must never fail on an odd value:
// strings as they are, numbers in decimal and booleans as "true"/"false" (as jsoncpp writes
// them), null and containers as "".
std::string TolerantText(const Json::Value& value);

// A 32-bit signed integer from a node: integers and reals in range (reals truncated toward
// zero), booleans as 0 or 1, null as 0. Throws Json::LogicError for strings and containers
// and for numbers out of range.
int JsonToInt32(const Json::Value& value);

// JSON truth: true, non-zero numbers, non-empty strings, arrays and objects.
bool JsonTruth(const Json::Value& value);

// The member of an object, or null when the node is not an object or lacks the member.
// Reading configuration through this never trips the library's "requires objectValue" checks.
const Json::Value& Member(const Json::Value& object, const char* key);

// Calls visit for each element of a configuration list. Lists are arrays; anything else
// (an object included) counts as an empty list.
template <class Visit>
void ForEachElement(const Json::Value& list, Visit visit) {
  if (!list.isArray()) return;
  for (Json::ArrayIndex i = 0; i < list.size(); ++i) visit(list[i]);
}

// Parses the first complete JSON value of text (comments allowed, trailing text ignored).
// Returns false on a syntax error; errorText then says where and why.
bool ParseJson(const std::string& text, Json::Value& out, std::string* errorText = nullptr);

// The document in jsoncpp's styled layout (three-space indentation, right margin 74).
std::string StyledJson(const Json::Value& value);

}  // namespace orvex
