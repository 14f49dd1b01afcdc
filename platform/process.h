#pragma once
// The running process as Windows describes it: its executable, its environment block and the
// local time.

#include <string>
#include <vector>

namespace orvex {
namespace platform {

// The executable's full path as GetModuleFileNameA gives it (at most 260 characters).
std::string ExecutablePath();

// The process environment as "NAME=VALUE" entries, in the order of the environment block.
std::vector<std::string> EnvironmentEntries();

struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
LocalTime CurrentLocalTime();

// The separator between a directory and a file name in this platform's paths.
char PathSeparator();

}  // namespace platform
}  // namespace orvex
