// The environment of the simulated machine: the host process's own variables, and behind them
// the profile's (SystemRoot, TEMP, USERNAME ...). A variable the process sets wins, except the
// ones Windows defines for the machine and the user: those are Windows paths and names of the
// simulated machine, and the host's TMP or PATH must never lead a file call to the host. The
// profile's names match without regard to case, as Windows matches them.
#include "platform/environment.h"

#include <cstdlib>
#include <set>

#include "base/text.h"
#include "platform/sim/machine_internal.h"

namespace orvex {

namespace sim {

bool IsMachineVariable(const std::string& name) {
  static const std::set<std::wstring, NoCaseLess> kMachineVariables = {L"ALLUSERSPROFILE",
                                                                       L"APPDATA",
                                                                       L"CommonProgramFiles",
                                                                       L"CommonProgramFiles(x86)",
                                                                       L"CommonProgramW6432",
                                                                       L"COMPUTERNAME",
                                                                       L"ComSpec",
                                                                       L"HOMEDRIVE",
                                                                       L"HOMEPATH",
                                                                       L"HOMESHARE",
                                                                       L"LOCALAPPDATA",
                                                                       L"OneDrive",
                                                                       L"PATH",
                                                                       L"ProgramData",
                                                                       L"ProgramFiles",
                                                                       L"ProgramFiles(x86)",
                                                                       L"ProgramW6432",
                                                                       L"PUBLIC",
                                                                       L"SystemDrive",
                                                                       L"SystemRoot",
                                                                       L"TEMP",
                                                                       L"TMP",
                                                                       L"USERDOMAIN",
                                                                       L"USERNAME",
                                                                       L"USERPROFILE",
                                                                       L"windir"};
  return kMachineVariables.count(Utf8ToWide(name)) != 0;
}

}  // namespace sim

namespace platform {

bool FindEnvironmentVariable(const char* name, std::string* value) {
  if (sim::IsMachineVariable(name)) return sim::ProfileEnvironmentVariable(name, value);
  if (const char* found = std::getenv(name)) {
    if (value) *value = found;
    return true;
  }
  return sim::ProfileEnvironmentVariable(name, value);
}

std::string EnvironmentVariable(const char* name) {
  std::string value;
  if (!FindEnvironmentVariable(name, &value)) return std::string();
  return value;
}

std::wstring EnvironmentVariableW(const wchar_t* name) {
  return Utf8ToWide(EnvironmentVariable(WideToUtf8(name).c_str()));
}

}  // namespace platform
}  // namespace orvex
