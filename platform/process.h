#pragma once
// The running process as Windows describes it: its executable, its environment block and the
// local time.

#include <cstdint>
#include <string>
#include <vector>

namespace orvex {
namespace platform {

// The executable's full path in UTF-8, as GetModuleFileNameW gives it (at most 260 characters).
std::string ExecutablePath();

// The process environment as "NAME=VALUE" entries in UTF-8, in the order of the environment
// block.
std::vector<std::string> EnvironmentEntries();

struct LocalTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
};
LocalTime CurrentLocalTime();

// GetACP: the system's ANSI code page (1252 on a Western Windows, 1251 Cyrillic, 936 Chinese).
// Nothing the installer converts depends on it: every narrow text is UTF-8. It describes the
// machine, for the recorded profile.
uint32_t AnsiCodePage();

// The separator between a directory and a file name in this platform's paths.
char PathSeparator();

}  // namespace platform
}  // namespace orvex
