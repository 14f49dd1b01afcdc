#pragma once
// The process environment's variables by name.

#include <string>

namespace orvex {
namespace platform {

// Whether the variable is set; its value goes to *value when it is.
bool FindEnvironmentVariable(const char* name, std::string* value);

// The variable's value, "" when it is not set.
std::string EnvironmentVariable(const char* name);

}  // namespace platform
}  // namespace orvex
