// Folders for administrators only on the simulated machine. The program runs elevated; a test
// acts as a user without elevation (sim::ScopedNonAdministrator) to try what such a user could
// do meanwhile. The machine keeps the folders MakeAdminOnlyDirectory made, and refuses that
// user every change at such a folder or below it (ERROR_ACCESS_DENIED): creating, writing,
// renaming, deleting, changing attributes. Folders made inside one inherit its protection.
// The protection lives with the folder, as a DACL does: an extended attribute of the host
// folder marks it, so that a later process (the next dry run) finds it protected and a folder
// removed and made again is not. Where the host keeps no extended attributes, the process's
// own list is all there is.
#include "platform/admin_folders.h"

#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>

#include "platform/files.h"
#include "platform/sim/machine.h"
#include "platform/sim/machine_internal.h"
#include "platform/win_codes.h"

namespace orvex {
namespace sim {
namespace {

thread_local bool g_actingAsUser = false;

// The marks on a host folder: protected for administrators, or owned by a user without
// elevation (GiveFolderToUser).
const char kAdminOnlyMark[] = "user.orvex.admin-only";
const char kUserOwnedMark[] = "user.orvex.user-owned";

bool IsAtOrBelow(const std::string& host, const std::string& folder) {
  return host == folder ||
         (host.size() > folder.size() && host.compare(0, folder.size(), folder) == 0 &&
          host[folder.size()] == '/');
}

bool HasMark(const std::string& host, const char* mark) {
  return lgetxattr(host.c_str(), mark, nullptr, 0) >= 0;
}

void SetMark(const std::string& host, const char* mark) {
  // Without extended attributes the mark lasts as long as the process's list.
  (void)lsetxattr(host.c_str(), mark, "1", 1, 0);
}

// host or a folder above it, inside the sandbox, carries the protection mark.
bool MarkedAtOrAbove(const std::string& host) {
  const std::string root = SandboxRoot();
  std::string folder = host;
  while (folder.size() > root.size() && IsAtOrBelow(folder, root)) {
    if (HasMark(folder, kAdminOnlyMark)) return true;
    const std::size_t slash = folder.find_last_of('/');
    if (slash == std::string::npos || slash == 0) break;
    folder.resize(slash);
  }
  return false;
}

void Protect(const std::string& host) {
  SetMark(host, kAdminOnlyMark);
  std::lock_guard<std::recursive_mutex> hold(MachineLock());
  CurrentMachine().adminOnlyFolders.insert(host);
}

}  // namespace

bool InAdminOnlyFolder(const std::string& host) {
  if (host.empty()) return false;
  std::lock_guard<std::recursive_mutex> hold(MachineLock());
  for (const std::string& folder : CurrentMachine().adminOnlyFolders)
    if (IsAtOrBelow(host, folder)) return true;
  return MarkedAtOrAbove(host);
}

void GiveFolderToUser(const std::wstring& path) {
  const std::string host = MapWindowsPath(path, !FsRedirectionOff(), LinkUse::kItself).host;
  if (host.empty()) return;
  (void)lremovexattr(host.c_str(), kAdminOnlyMark);
  SetMark(host, kUserOwnedMark);
  ForgetAdminOnlyFolder(host);
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
  sim::Protect(sim::MapWindowsPath(path, !sim::FsRedirectionOff(), sim::LinkUse::kItself).host);
  return true;
}

bool ProtectAdminOnlyDirectory(const std::wstring& path, uint32_t* error) {
  if (sim::g_actingAsUser) return ReportError(kErrorAccessDenied, error);
  const sim::MappedPath mapped =
      sim::MapWindowsPath(path, !sim::FsRedirectionOff(), sim::LinkUse::kItself);
  struct stat info;
  if (mapped.host.empty() || lstat(mapped.host.c_str(), &info) != 0)
    return ReportError(kErrorFileNotFound, error);
  if (!S_ISDIR(info.st_mode)) return ReportError(kErrorAccessDenied, error);
  if (sim::HasMark(mapped.host, sim::kUserOwnedMark)) return ReportError(kErrorInvalidOwner, error);
  sim::Protect(mapped.host);
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
