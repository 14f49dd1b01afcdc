// File times on the simulated machine: the host's modification time as a FILETIME.
#include "platform/file_times.h"

#include <sys/stat.h>

#include <ctime>

#include "platform/sim/machine_internal.h"

namespace orvex {
namespace platform {

namespace {

// Seconds between 1601-01-01 and 1970-01-01.
constexpr uint64_t kUnixEpochSeconds = 11644473600ull;

uint64_t ToFileTime(const struct timespec& time) {
  if (time.tv_sec < 0) return 0;
  return (static_cast<uint64_t>(time.tv_sec) + kUnixEpochSeconds) * kFileTimeTicksPerSecond +
         static_cast<uint64_t>(time.tv_nsec) / 100;
}

}  // namespace

bool LastWriteTime(const std::wstring& path, uint64_t* fileTime) {
  const sim::MappedPath mapped =
      sim::MapWindowsPath(path, !sim::FsRedirectionOff(), sim::LinkUse::kItself);
  struct stat info;
  if (mapped.host.empty() || lstat(mapped.host.c_str(), &info) != 0) return false;
  *fileTime = ToFileTime(info.st_mtim);
  return true;
}

uint64_t CurrentFileTime() {
  struct timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return ToFileTime(now);
}

}  // namespace platform
}  // namespace orvex
