#pragma once
// The simulated machine as the platform facilities of platform/sim/ share it. Only files in
// platform/sim/ include this; everything else goes through platform/*.h and sim/machine.h.

#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include <json/value.h>

#include "platform/sim/registry_tree.h"
#include "platform/sim/sim_text.h"

namespace orvex {
namespace sim {

struct ServiceEntry {
  std::wstring name;
  std::wstring displayName;
  std::wstring binaryPath;
  bool running = false;
};

// One loaded machine: the profile and what the program changed since it was loaded.
struct Machine {
  Json::Value profile;
  bool is64Bit = true;
  RegistryTree registry;
  std::map<std::wstring, ServiceEntry, NoCaseLess> services;
  // Records for MachineState().
  Json::Value createdKeys{Json::arrayValue};
  Json::Value registryWrites{Json::arrayValue};
  Json::Value serviceEvents{Json::arrayValue};
  Json::Value restartRequests{Json::arrayValue};
  Json::Value startedPrograms{Json::arrayValue};
  // File attributes other than read-only and directory, by host path (the host keeps none).
  std::map<std::string, uint32_t> fileAttributes;
  // Whether the drives, system folders and profile files exist in the sandbox yet.
  bool sandboxReady = false;
  // Changes with every load, so that handles opened on an earlier machine go stale.
  uint64_t generation = 0;
};

// Every facility holds this lock while it reads or changes the machine.
std::recursive_mutex& MachineLock();

// The current machine, loaded on first use; call with the lock held.
Machine& CurrentMachine();

// A Windows drive path ("C:\\x") as its host path, with WOW64 file-system redirection
// applied only when redirect is set; non-drive paths only have backslashes turned into
// slashes. Prepares the sandbox on first use.
std::string MapPath(const std::wstring& windowsPath, bool redirect);

// Wow64DisableWow64FsRedirection on the calling thread (files.h's ScopedFsRedirectionOff).
void SetFsRedirectionOff(bool off);
bool FsRedirectionOff();

// The value of an environment variable the profile sets (names without regard to case).
bool ProfileEnvironmentVariable(const std::string& name, std::string* value);

}  // namespace sim
}  // namespace orvex
