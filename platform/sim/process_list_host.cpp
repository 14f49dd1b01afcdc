// The process list of the simulated machine: the profile's "processes", in their order, and
// the installer's own process, whose id is the profile's "processId".
#include "platform/process_list.h"

#include "base/text.h"
#include "platform/environment.h"
#include "platform/sim/machine_internal.h"

namespace orvex {
namespace platform {

namespace {

constexpr uint32_t kDefaultProcessId = 4096;

uint32_t ProcessIdOf(const Json::Value& value) { return value.isUInt() ? value.asUInt() : 0; }

// The account the installer runs as: USERDOMAIN\USERNAME (COMPUTERNAME stands in for a
// missing USERDOMAIN, as it does on a machine outside a domain).
std::wstring InstallerAccount() {
  std::string domain = EnvironmentVariable("USERDOMAIN");
  if (domain.empty()) domain = EnvironmentVariable("COMPUTERNAME");
  return Utf8ToWide(domain + "\\" + EnvironmentVariable("USERNAME"));
}

}  // namespace

bool ListRunningProcesses(std::vector<RunningProcess>* processes) {
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  const Json::Value& profile = sim::CurrentMachine().profile;
  const Json::Value& listed = profile["processes"];
  // A profile that says "processes": false stands for a snapshot that cannot be taken.
  if (!listed.isNull() && !listed.isArray()) return false;
  std::vector<RunningProcess> found;
  for (Json::ArrayIndex i = 0; listed.isArray() && i < listed.size(); ++i) {
    const Json::Value& entry = listed[i];
    if (!entry.isObject()) continue;
    RunningProcess process;
    process.processId = ProcessIdOf(entry["pid"]);
    process.exeName = Utf8ToWide(entry.get("exe", "").isString() ? entry.get("exe", "").asString()
                                                                 : std::string());
    found.push_back(process);
  }
  if (processes) *processes = std::move(found);
  return true;
}

uint32_t CurrentProcessId() {
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  const Json::Value& id = sim::CurrentMachine().profile["processId"];
  return id.isUInt() ? id.asUInt() : kDefaultProcessId;
}

bool ProcessOwner(uint32_t processId, std::wstring* account) {
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  if (processId == CurrentProcessId()) {
    if (account) *account = InstallerAccount();
    return true;
  }
  const Json::Value& listed = sim::CurrentMachine().profile["processes"];
  for (Json::ArrayIndex i = 0; listed.isArray() && i < listed.size(); ++i) {
    const Json::Value& entry = listed[i];
    if (!entry.isObject() || ProcessIdOf(entry["pid"]) != processId) continue;
    // A process without an "owner" is one whose token cannot be opened.
    if (!entry["owner"].isString()) return false;
    if (account) *account = Utf8ToWide(entry["owner"].asString());
    return true;
  }
  return false;
}

}  // namespace platform
}  // namespace orvex
