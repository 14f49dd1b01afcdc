// The process facilities of the host build: the simulated machine runs as this very process,
// so its executable, environment and clock are the host's own.
#include <unistd.h>

#include <climits>
#include <ctime>

#include "platform/process.h"

extern char** environ;

namespace orvex {
namespace platform {

std::string ExecutablePath() {
  char buffer[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return std::string();
  return std::string(buffer, static_cast<std::size_t>(length));
}

std::vector<std::string> EnvironmentEntries() {
  std::vector<std::string> entries;
  for (char** entry = environ; entry && *entry; ++entry) entries.emplace_back(*entry);
  return entries;
}

LocalTime CurrentLocalTime() {
  std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  LocalTime t;
  t.year = parts.tm_year + 1900;
  t.month = parts.tm_mon + 1;
  t.day = parts.tm_mday;
  t.hour = parts.tm_hour;
  t.minute = parts.tm_min;
  t.second = parts.tm_sec;
  return t;
}

char PathSeparator() { return '/'; }

}  // namespace platform
}  // namespace orvex
