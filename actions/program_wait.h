#pragma once
// How long a module waits for a program it started (dpinst, the product's scripts), and what it
// says when the program did not finish in that time. The limits are far beyond what a slow
// machine needs; they only keep a hung program from holding the installer for ever while
// Cancel is disabled. A program that runs out its time is left running: stopping it half way
// through a driver installation would leave the machine worse off than letting it finish.

#include <json/json.h>

#include <cstdint>
#include <string>

namespace orvex {

constexpr uint32_t kDriverInstallerWaitSeconds = 30 * 60;
constexpr uint32_t kScriptWaitSeconds = 10 * 60;

// The module argument that changes a module's limit.
constexpr const char* kWaitLimitArgument = "timeout_seconds";

// The limit a module's arguments ask for, in milliseconds: defaultSeconds when
// "timeout_seconds" is absent or null; the number it holds when that is a number above 0 that
// the wait can take (fractions of a second count up to the next millisecond). Anything else
// (a text, a boolean, 0, a negative number, more than about 49 days) is a configuration error:
// false, with *error the reason for the module's record.
bool ReadWaitLimit(const Json::Value& args, uint32_t defaultSeconds, uint32_t* milliseconds,
                   std::string* error);

// "<program> did not finish within 30 minutes; it was left running": the text of a module
// whose program ran out its time.
std::string DidNotFinishText(const std::string& program, uint32_t milliseconds);

}  // namespace orvex
