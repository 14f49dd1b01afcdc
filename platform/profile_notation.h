#pragma once
// The machine-profile notation of numbers and registry values.

#include <json/value.h>

#include <cstdint>
#include <string>

#include "platform/registry.h"

namespace orvex {
namespace platform {

// A number written in a profile: a JSON number, or a text in decimal or "0x" hexadecimal.
bool ProfileNumber(const Json::Value& value, uint64_t* number);
bool ProfileNumber(const std::string& text, uint64_t* number);

// Registry values: a string is REG_SZ, {"dword": n}, {"qword": n}, {"binary": "hex"},
// {"expand_sz": "text"}, {"multi_sz": ["a", "b"]}. RegistryValueFromJson is false when the JSON
// is in no known notation; RegistryValueToJson writes what fits no other notation (a DWORD of
// the wrong length, other types) as "binary".
bool RegistryValueFromJson(const Json::Value& json, RegistryValue* value);
Json::Value RegistryValueToJson(const RegistryValue& value);

}  // namespace platform
}  // namespace orvex
