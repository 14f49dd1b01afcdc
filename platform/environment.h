#pragma once
// The process environment's variables by name. On the simulated machine the profile's
// environment stands behind the process's own: a variable set in the process wins.

#include <string>
#include <vector>

namespace orvex {
namespace platform {

// Whether the variable is set; its value goes to *value when it is.
[[nodiscard]] bool FindEnvironmentVariable(const char* name, std::string* value);

// The variable's value, "" when it is not set.
std::string EnvironmentVariable(const char* name);

// GetEnvironmentVariableW: the value as UTF-16, "" when it is not set.
std::wstring EnvironmentVariableW(const wchar_t* name);

}  // namespace platform
}  // namespace orvex
