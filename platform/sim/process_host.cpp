// The process facilities of the host build: the simulated machine runs as this very process,
// so its executable and clock are the host's own; its environment is the host process's with
// the profile's variables behind it, the machine's own variables (TMP, PATH ...) from the
// profile alone.
#include "platform/process.h"

#include <unistd.h>

#include <climits>
#include <ctime>
#include <set>

#include "base/text.h"
#include "platform/sim/machine_internal.h"

extern char** environ;

namespace orvex {
namespace platform {

std::string ExecutablePath() {
  char buffer[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (length <= 0) return std::string();
  return std::string(buffer, static_cast<std::size_t>(length));
}

// The profile's variables that the process does not set, then the process's own.
std::vector<std::string> EnvironmentEntries() {
  std::vector<std::string> own;
  std::set<std::wstring, sim::NoCaseLess> ownNames;
  for (char** entry = environ; entry && *entry; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    if (sim::IsMachineVariable(name)) continue;  // the machine's, from the profile
    own.push_back(text);
    ownNames.insert(Utf8ToWide(name));
  }
  std::vector<std::string> entries;
  {
    std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
    const Json::Value& profile = sim::CurrentMachine().profile["environment"];
    for (const std::string& name : profile.getMemberNames()) {
      if (!profile[name].isString() || ownNames.count(Utf8ToWide(name))) continue;
      entries.push_back(name + "=" + profile[name].asString());
    }
  }
  entries.insert(entries.end(), own.begin(), own.end());
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

uint32_t AnsiCodePage() { return sim::CurrentMachine().ansiCodePage; }

char PathSeparator() { return '/'; }

}  // namespace platform
}  // namespace orvex
