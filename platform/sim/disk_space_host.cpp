// Disk space of the simulated drives. A dry run unpacks whatever a configuration names onto
// the host's disk: the machine's drives have the free space of the profile (the default is a
// roomy but finite disk), the program's writes take from it, and a write that does not fit
// fails as a full disk fails on Windows. The host's own free space is a limit too.
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cwctype>
#include <mutex>

#include "base/text.h"
#include "platform/files.h"
#include "platform/sim/machine.h"
#include "platform/sim/machine_internal.h"
#include "platform/win_codes.h"

namespace orvex {
namespace sim {
namespace {

constexpr uint64_t kGiB = 1024ull * 1024 * 1024;
constexpr uint64_t kDefaultFreeBytes = 64 * kGiB;
constexpr uint64_t kDefaultTotalBytes = 256 * kGiB;

// The drive letter of a host path in the sandbox ("<root>/C/x" is 'C'); 0 outside a drive.
char DriveOf(const std::string& host) {
  const std::string root = SandboxRoot() + "/";
  if (host.size() < root.size() + 1 || host.compare(0, root.size(), root) != 0) return 0;
  const char letter = host[root.size()];
  if (host.size() > root.size() + 1 && host[root.size() + 1] != '/') return 0;
  return static_cast<char>(std::towupper(static_cast<unsigned char>(letter)));
}

// The profile's entry for a drive: "drives": {"C:": {"freeBytes": n, "totalBytes": n}}.
uint64_t ProfileBytes(char drive, const char* member, uint64_t fallback) {
  const Json::Value& drives = CurrentMachine().profile["drives"];
  const Json::Value& entry = MemberNoCase(drives, std::string(1, drive) + ":");
  const Json::Value& value = entry.isObject() ? entry[member] : Json::Value::nullSingleton();
  if (value.isUInt64()) return value.asUInt64();
  if (value.isDouble() && value.asDouble() >= 0 && value.asDouble() < 1.8e19)
    return static_cast<uint64_t>(value.asDouble());
  return fallback;
}

uint64_t HostFreeBytes() {
  struct statvfs disk;
  if (statvfs(SandboxRoot().c_str(), &disk) != 0) return 0;
  return static_cast<uint64_t>(disk.f_bavail) * disk.f_frsize;
}

uint64_t FreeBytesOf(char drive) {
  const int64_t added = CurrentMachine().driveBytesAdded[drive];
  const uint64_t given = ProfileBytes(drive, "freeBytes", kDefaultFreeBytes);
  uint64_t free = 0;
  if (added <= 0) {
    const uint64_t freed = static_cast<uint64_t>(-added);
    free = given > UINT64_MAX - freed ? UINT64_MAX : given + freed;
  } else {
    free = given > static_cast<uint64_t>(added) ? given - static_cast<uint64_t>(added) : 0;
  }
  return std::min(free, HostFreeBytes());
}

}  // namespace

uint64_t DriveFreeBytes(const std::string& host) {
  std::lock_guard<std::recursive_mutex> hold(MachineLock());
  const char drive = DriveOf(host);
  return drive ? FreeBytesOf(drive) : 0;
}

bool TakeDriveSpace(const std::string& host, uint64_t bytes) {
  if (bytes == 0) return true;
  std::lock_guard<std::recursive_mutex> hold(MachineLock());
  const char drive = DriveOf(host);
  if (!drive || bytes > FreeBytesOf(drive) || bytes > static_cast<uint64_t>(INT64_MAX))
    return false;
  CurrentMachine().driveBytesAdded[drive] += static_cast<int64_t>(bytes);
  return true;
}

void GiveBackDriveSpace(const std::string& host, uint64_t bytes) {
  if (bytes == 0 || bytes > static_cast<uint64_t>(INT64_MAX)) return;
  std::lock_guard<std::recursive_mutex> hold(MachineLock());
  const char drive = DriveOf(host);
  if (drive) CurrentMachine().driveBytesAdded[drive] -= static_cast<int64_t>(bytes);
}

uint64_t GrowthOfWrite(int descriptor, uint64_t offset, uint64_t count) {
  struct stat info;
  if (fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) return 0;
  const uint64_t size = static_cast<uint64_t>(info.st_size);
  if (offset > UINT64_MAX - count) return UINT64_MAX;
  return offset + count > size ? offset + count - size : 0;
}

namespace {

bool HasOtherNames(const std::string& host, struct stat* info) {
  return !host.empty() && lstat(host.c_str(), info) == 0 && S_ISREG(info->st_mode) &&
         info->st_nlink > 1;
}

}  // namespace

bool WriteAfresh(const std::string& host) {
  struct stat info;
  if (!HasOtherNames(host, &info)) return true;
  // The other names keep the old file; its bytes stay taken by them.
  return unlink(host.c_str()) == 0;
}

bool MayChangeInPlace(const std::string& host) {
  struct stat info;
  return !HasOtherNames(host, &info);
}

uint64_t RegularFileSize(const std::string& host) {
  struct stat info;
  if (host.empty() || lstat(host.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return 0;
  return static_cast<uint64_t>(info.st_size);
}

}  // namespace sim

namespace platform {

bool FreeDiskSpace(const std::wstring& directory, DiskSpace* space, uint32_t* error) {
  const sim::MappedPath mapped =
      sim::MapWindowsPath(directory, !sim::FsRedirectionOff(), sim::LinkUse::kFollow);
  struct stat info;
  if (mapped.host.empty() || stat(mapped.host.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    if (error) *error = mapped.host.empty() && mapped.error ? mapped.error : kErrorPathNotFound;
    return false;
  }
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  const char drive = sim::DriveOf(mapped.host);
  if (!drive) {
    if (error) *error = kErrorPathNotFound;
    return false;
  }
  const uint64_t free = sim::FreeBytesOf(drive);
  if (space) {
    space->freeToCaller = space->totalFree = free;
    space->totalBytes =
        std::max(free, sim::ProfileBytes(drive, "totalBytes", sim::kDefaultTotalBytes));
  }
  return true;
}

}  // namespace platform
}  // namespace orvex
