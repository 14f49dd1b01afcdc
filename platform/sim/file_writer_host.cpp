// Positioned writes on the simulated machine: real host files at the place the sandbox maps
// the Windows path to, written with pwrite, reserved with posix_fallocate and renamed with
// rename(2), which replaces the target as MOVEFILE_REPLACE_EXISTING does.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>

#include "platform/file_handles.h"
#include "platform/file_writer.h"
#include "platform/sim/machine.h"
#include "platform/sim/machine_internal.h"

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

// The sandbox file behind each open descriptor, whose drive its growth is taken from.
std::mutex& OpenFilesLock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}

std::map<int, std::string>& OpenFiles() {
  static auto* files = new std::map<int, std::string>;
  return *files;
}

std::string HostOf(intptr_t handle) {
  std::lock_guard<std::mutex> hold(OpenFilesLock());
  auto found = OpenFiles().find(static_cast<int>(handle));
  return found == OpenFiles().end() ? std::string() : found->second;
}

// Takes the bytes a write of count bytes at offset adds to the file from its drive.
bool TakeGrowth(intptr_t handle, uint64_t offset, uint64_t count, int* error) {
  const uint64_t growth = sim::GrowthOfWrite(static_cast<int>(handle), offset, count);
  if (sim::TakeDriveSpace(HostOf(handle), growth)) return true;
  Report(error, ENOSPC);
  return false;
}

// A path or its last name as the sandbox holds it: "" when the machine refuses it.
std::string MappedHost(const std::wstring& path, sim::LinkUse use) {
  return sim::MapWindowsPath(path, !sim::FsRedirectionOff(), use).host;
}

}  // namespace

PositionedFile::~PositionedFile() { Close(nullptr); }

bool PositionedFile::Create(const std::wstring& path, int* error) {
  Close(nullptr);
  const std::string host = MappedHost(path, sim::LinkUse::kFollow);
  if (host.empty()) {
    Report(error, ENOENT);
    return false;
  }
  if (IsReadOnlyFile(host) ||
      sim::SharingViolation(host, kGenericWrite, kFileShareRead)) {
    Report(error, EACCES);
    return false;
  }
  if (!sim::WriteAfresh(host)) {
    Report(error, EACCES);
    return false;
  }
  struct stat before;
  const bool existed = lstat(host.c_str(), &before) == 0;
  const uint64_t truncated = sim::RegularFileSize(host);
  // The sandbox resolved every link of the path: a link at its end now is not followed.
  const int fd = open(host.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) {
    Report(error, errno);
    return false;
  }
  sim::GiveBackDriveSpace(host, truncated);
  if (!existed) sim::NoteNameAdded(host);
  handle_ = fd;
  std::lock_guard<std::mutex> hold(OpenFilesLock());
  OpenFiles()[fd] = host;
  return true;
}

bool PositionedFile::Reserve(uint64_t size, int* error) {
  if (!IsOpen()) {
    Report(error, EBADF);
    return false;
  }
  if (size == 0) return true;
  if (!TakeGrowth(handle_, 0, size, error)) return false;
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
  if (!TakeGrowth(handle_, offset, bytes, error)) return false;
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
  {
    std::lock_guard<std::mutex> hold(OpenFilesLock());
    OpenFiles().erase(fd);
  }
  if (close(fd) != 0) {
    Report(error, errno);
    return false;
  }
  return true;
}

bool PositionedFile::IsOpen() const { return handle_ >= 0; }

// MoveFileExW moves and replaces names: a link at either end is moved or replaced as the
// link, never followed.
bool ReplaceWithFile(const std::wstring& source, const std::wstring& target, int* error) {
  const std::string from = MappedHost(source, sim::LinkUse::kItself);
  const std::string to = MappedHost(target, sim::LinkUse::kItself);
  if (from.empty() || to.empty()) {
    Report(error, ENOENT);
    return false;
  }
  struct stat moved;
  struct stat replaced;
  const bool freesTarget = lstat(from.c_str(), &moved) == 0 && lstat(to.c_str(), &replaced) == 0 &&
                           S_ISREG(replaced.st_mode) && replaced.st_nlink == 1 &&
                           replaced.st_ino != moved.st_ino;
  if (std::rename(from.c_str(), to.c_str()) != 0) {
    Report(error, errno);
    return false;
  }
  if (freesTarget) sim::GiveBackDriveSpace(to, static_cast<uint64_t>(replaced.st_size));
  sim::NoteNameRemoved(from);
  sim::NoteNameRemoved(to);
  return true;
}

}  // namespace platform
}  // namespace orvex
