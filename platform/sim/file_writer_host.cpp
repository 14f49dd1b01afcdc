// Positioned writes on the simulated machine: real host files at the place the sandbox maps
// the Windows path to, written with pwrite, reserved with posix_fallocate and renamed with
// rename(2), which replaces the target as MOVEFILE_REPLACE_EXISTING does.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/file_writer.h"
#include "platform/sim/machine.h"

namespace orvex {
namespace platform {
namespace {

void Report(int* error, int value) {
  if (error) *error = value;
}

// The simulated machine keeps read-only as the owner's write bit; Windows refuses to open such
// a file for writing even for an administrator, while root on the host would not be refused.
bool IsReadOnlyFile(const std::string& host) {
  struct stat info;
  return stat(host.c_str(), &info) == 0 && S_ISREG(info.st_mode) && (info.st_mode & S_IWUSR) == 0;
}

}  // namespace

PositionedFile::~PositionedFile() { Close(nullptr); }

bool PositionedFile::Create(const std::wstring& path, int* error) {
  Close(nullptr);
  const std::string host = sim::HostPath(path);
  if (IsReadOnlyFile(host)) {
    Report(error, EACCES);
    return false;
  }
  const int fd = open(host.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    Report(error, errno);
    return false;
  }
  handle_ = fd;
  return true;
}

bool PositionedFile::Reserve(uint64_t size, int* error) {
  if (!IsOpen()) {
    Report(error, EBADF);
    return false;
  }
  if (size == 0) return true;
  // posix_fallocate returns the error instead of setting errno.
  const int failed = posix_fallocate(static_cast<int>(handle_), 0, static_cast<off_t>(size));
  if (failed != 0) {
    Report(error, failed);
    return false;
  }
  return true;
}

bool PositionedFile::WriteAt(uint64_t offset, const void* data, std::size_t bytes, int* error) {
  const char* next = static_cast<const char*>(data);
  while (bytes > 0) {
    const ssize_t done = pwrite(static_cast<int>(handle_), next, bytes, static_cast<off_t>(offset));
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) {
      Report(error, done < 0 ? errno : EIO);
      return false;
    }
    next += done;
    offset += static_cast<uint64_t>(done);
    bytes -= static_cast<std::size_t>(done);
  }
  return true;
}

bool PositionedFile::Close(int* error) {
  if (!IsOpen()) return true;
  const int fd = static_cast<int>(handle_);
  handle_ = -1;
  if (close(fd) != 0) {
    Report(error, errno);
    return false;
  }
  return true;
}

bool PositionedFile::IsOpen() const { return handle_ >= 0; }

bool ReplaceWithFile(const std::wstring& source, const std::wstring& target, int* error) {
  if (std::rename(sim::HostPath(source).c_str(), sim::HostPath(target).c_str()) != 0) {
    Report(error, errno);
    return false;
  }
  return true;
}

}  // namespace platform
}  // namespace orvex
