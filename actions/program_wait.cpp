#include "actions/program_wait.h"

#include <cmath>

#include "base/json_text.h"
#include "platform/process_launch.h"

namespace orvex {

namespace {

std::string Counted(uint64_t count, const char* unit) {
  return std::to_string(count) + " " + unit + (count == 1 ? "" : "s");
}

// 30 minutes, 90 seconds, 1.5 seconds.
std::string DurationText(uint32_t milliseconds) {
  if (milliseconds % 60000 == 0) return Counted(milliseconds / 60000, "minute");
  if (milliseconds % 1000 == 0) return Counted(milliseconds / 1000, "second");
  std::string fraction = std::to_string(1000 + milliseconds % 1000).substr(1);
  while (fraction.back() == '0') fraction.pop_back();
  return std::to_string(milliseconds / 1000) + "." + fraction + " seconds";
}

// Seconds to whole milliseconds, rounded up, and at least 1 for any time above 0. Rounded to
// microseconds first, so that 4294967.294 (not exact in binary) gives 4294967294.
double RoundedUpMilliseconds(double seconds) {
  const double milliseconds = std::ceil(std::round(seconds * 1e6) / 1000);
  return seconds > 0 && milliseconds < 1 ? 1 : milliseconds;
}

}  // namespace

bool ReadWaitLimit(const Json::Value& args, uint32_t defaultSeconds, uint32_t* milliseconds,
                   std::string* error) {
  const Json::Value& given = Member(args, kWaitLimitArgument);
  if (given.isNull()) {
    *milliseconds = defaultSeconds * 1000;
    return true;
  }
  // Booleans are no numbers here, though the JSON library would read them as 0 and 1.
  const double seconds = given.isNumeric() && !given.isBool() ? given.asDouble() : std::nan("");
  const double wanted = RoundedUpMilliseconds(seconds);
  if (!(seconds > 0 && wanted <= platform::kLongestWaitMilliseconds)) {
    *error = std::string("The argument \"") + kWaitLimitArgument +
             "\" must be a number of seconds above 0 and at most " +
             std::to_string(platform::kLongestWaitMilliseconds / 1000);
    return false;
  }
  *milliseconds = static_cast<uint32_t>(wanted);
  return true;
}

std::string DidNotFinishText(const std::string& program, uint32_t milliseconds) {
  return program + " did not finish within " + DurationText(milliseconds) + "; it was left running";
}

}  // namespace orvex
