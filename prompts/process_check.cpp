#include "prompts/process_check.h"

#include <cwctype>
#include <vector>

#include "base/text.h"
#include "platform/process_list.h"

namespace orvex {

namespace {

bool SameFileName(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  return true;
}

}  // namespace

bool IsProcessRunning(std::string exeName, bool currentUserOnly) {
  std::vector<platform::RunningProcess> processes;
  if (!platform::ListRunningProcesses(&processes)) return false;
  const std::wstring wanted = ToWide(exeName);
  const uint32_t self = platform::CurrentProcessId();
  std::wstring installerAccount;
  const bool knowInstallerAccount =
      currentUserOnly && platform::ProcessOwner(self, &installerAccount);
  for (const platform::RunningProcess& process : processes) {
    if (process.processId == self || !SameFileName(process.exeName, wanted)) continue;
    if (!currentUserOnly) return true;
    std::wstring owner;
    if (!knowInstallerAccount || !platform::ProcessOwner(process.processId, &owner) ||
        !SameFileName(owner, installerAccount))
      return true;
  }
  return false;
}

}  // namespace orvex
