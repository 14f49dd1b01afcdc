#pragma once
// The processes running on the machine, as a Toolhelp snapshot lists them, and the accounts
// that own them. Each call mirrors the Windows calls named and fails the way they do.

#include <cstdint>
#include <string>
#include <vector>

namespace orvex {
namespace platform {

struct RunningProcess {
  uint32_t processId = 0;
  std::wstring exeName;  // PROCESSENTRY32W.szExeFile: the executable's file name
};

// CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS), Process32FirstW and Process32NextW: every
// process in snapshot order. False (and no list) when the snapshot cannot be taken.
[[nodiscard]] bool ListRunningProcesses(std::vector<RunningProcess>* processes);

// GetCurrentProcessId.
uint32_t CurrentProcessId();

// The account that owns a process, as "DOMAIN\\name": OpenProcess (query information),
// OpenProcessToken, GetTokenInformation(TokenUser) and LookupAccountSidW. False when any of
// them fails (the process ended, access denied, an account without a name).
[[nodiscard]] bool ProcessOwner(uint32_t processId, std::wstring* account);

}  // namespace platform
}  // namespace orvex
