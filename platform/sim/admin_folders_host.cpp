// Folders for administrators only on the simulated machine. The program runs elevated; a test
// acts as a user without elevation (sim::ScopedNonAdministrator) to try what such a user could
// do meanwhile. The machine keeps the folders MakeAdminOnlyDirectory made, and refuses that
// user every change at such a folder or below it (ERROR_ACCESS_DENIED): creating, writing,
// renaming, deleting, changing attributes. Folders made inside one inherit its protection.
#include "platform/admin_folders.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/files.h"
#include "platform/sim/machine.h"
#include "platform/sim/machine_internal.h"
#include "platform/win_codes.h"

namespace orvex {
namespace sim {
namespace {

thread_local bool g_actingAsUser = false;

bool IsAtOrBelow(const std::string& host, const std::string& folder) {
  return host == folder ||
         (host.size() > folder.size() && host.compare(0, folder.size(), folder) == 0 &&
          host[folder.size()] == '/');
}

}  // namespace

bool InAdminOnlyFolder(const std::string& host) {
  if (host.empty()) return false;
  std::lock_guard<std::recursive_mutex> hold(MachineLock());
  for (const std::string& folder : CurrentMachine().adminOnlyFolders)
    if (IsAtOrBelow(host, folder)) return true;
  return false;
}

bool RefusedToNonAdministrator(const std::string& host) {
  return g_actingAsUser && InAdminOnlyFolder(host);
}

void ForgetAdminOnlyFolder(const std::string& host) {
  std::lock_guard<std::recursive_mutex> hold(MachineLock());
  CurrentMachine().adminOnlyFolders.erase(host);
}

ScopedNonAdministrator::ScopedNonAdministrator() : previous_(g_actingAsUser) {
  g_actingAsUser = true;
}

ScopedNonAdministrator::~ScopedNonAdministrator() { g_actingAsUser = previous_; }

}  // namespace sim

namespace platform {

bool MakeAdminOnlyDirectory(const std::wstring& path, uint32_t* error) {
  // Only an elevated process can hand a folder to the administrators.
  if (sim::g_actingAsUser) return ReportError(kErrorAccessDenied, error);
  if (!MakeDirectory(path, error)) return false;
  const std::string host =
      sim::MapWindowsPath(path, !sim::FsRedirectionOff(), sim::LinkUse::kItself).host;
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  sim::CurrentMachine().adminOnlyFolders.insert(host);
  return true;
}

bool OnlyAdministratorsCanWrite(const std::wstring& directory) {
  const std::string host =
      sim::MapWindowsPath(directory, !sim::FsRedirectionOff(), sim::LinkUse::kFollow).host;
  struct stat info;
  return !host.empty() && stat(host.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
         sim::InAdminOnlyFolder(host);
}

}  // namespace platform
}  // namespace orvex
