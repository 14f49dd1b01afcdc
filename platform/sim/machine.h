#pragma once
// The simulated Windows machine of the host build: what Windows would answer (a machine
// profile, JSON) and what the program changed (the machine's state). Host tests load the
// profile they need; the console installer loads the one named by ORVEX_SIM_MACHINE, or the
// built-in default. The format is described in platform/sim/README.md.

#include <json/value.h>

#include <string>

namespace orvex {
namespace sim {

// The built-in profile: a typical 64-bit Windows 10 machine.
const Json::Value& DefaultProfile();

// Replaces the machine by the one the profile describes, with a fresh state. The sandbox
// folder that holds the drives is kept.
void LoadMachine(const Json::Value& profile);

// The profile in use (loaded on first use from ORVEX_SIM_MACHINE, else the default).
const Json::Value& Profile();

// What the program changed, for tests and for the state file (ORVEX_SIM_STATE): registry
// writes, services, restart requests, started programs.
Json::Value MachineState();

// The folder that holds the drives: drive C: is <root>/C. ORVEX_SIM_ROOT, else
// "orvex-sim" in the current directory.
std::string SandboxRoot();
void SetSandboxRoot(const std::string& root);

// A Windows path as a host path inside the sandbox: "C:\\a\\b" is <root>/C/a/b, "\\a" and
// "a" are on the current drive and in the current directory; "" for a path the machine
// refuses (a UNC path, a device, a link leading out of the sandbox).
std::string HostPath(const std::wstring& windowsPath);

// For tests: while an object lives, the calling thread acts as a user without elevation. Such
// a user may change nothing in or at a folder made for administrators only (platform/
// admin_folders.h): creating, writing, copying over, renaming, deleting there and changing
// attributes fail with ERROR_ACCESS_DENIED, and it cannot make such a folder itself.
class ScopedNonAdministrator {
 public:
  ScopedNonAdministrator();
  ~ScopedNonAdministrator();
  ScopedNonAdministrator(const ScopedNonAdministrator&) = delete;
  ScopedNonAdministrator& operator=(const ScopedNonAdministrator&) = delete;

 private:
  bool previous_;
};

// For tests: the folder at path becomes one that a user without elevation made and owns, as
// if that user had created it: no longer protected, and ProtectAdminOnlyDirectory refuses it
// (its owner could change its DACL back at any time).
void GiveFolderToUser(const std::wstring& path);

// For tests: loads a profile for the lifetime of the object, then the previous one again.
class ScopedMachine {
 public:
  explicit ScopedMachine(const Json::Value& profile);
  ~ScopedMachine();
  ScopedMachine(const ScopedMachine&) = delete;
  ScopedMachine& operator=(const ScopedMachine&) = delete;

 private:
  Json::Value previous_;
};

}  // namespace sim
}  // namespace orvex
