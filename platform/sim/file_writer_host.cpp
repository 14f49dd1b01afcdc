// Positioned writes on the simulated machine: real host files at the place the sandbox maps
// the Windows path to, written with pwrite, reserved with ftruncate and posix_fallocate and
// renamed with
// rename(2), which replaces the target as MOVEFILE_REPLACE_EXISTING does. Host errors are
// reported as the Windows error the same failure gives there.
#include "platform/file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <map>
#include <mutex>
#include <string>

#include "platform/file_handles.h"
#include "platform/sim/machine.h"
#include "platform/sim/machine_internal.h"
#include "platform/win_codes.h"

namespace orvex {
namespace platform {
namespace {

// CREATE_NEW.
constexpr uint32_t kNewOnly = 1;

bool Report(uint32_t* error, uint32_t value) {
  if (error) *error = value;
  return false;
}

// The Windows error for an errno value of a file call.
uint32_t WindowsErrorOf(int value) {
  switch (value) {
    case ENOENT:
      return kErrorFileNotFound;
    case ENOTDIR:
      return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return kErrorAccessDenied;
    case EEXIST:
      return kErrorFileExists;
    case ENOSPC:
    case EDQUOT:
      return kErrorDiskFull;
    case EFBIG:
      return kErrorFileTooLarge;
    case ENAMETOOLONG:
      return kErrorFilenameExcedRange;
    case EBADF:
      return kErrorInvalidHandle;
    case ENOMEM:
      return kErrorNotEnoughMemory;
    case EXDEV:
      return kErrorNotSameDevice;
    case EIO:
      return kErrorWriteFault;
    default:
      return kErrorGenFailure;
  }
}

bool ReportErrno(uint32_t* error, int value) { return Report(error, WindowsErrorOf(value)); }

// ENOENT from open(2): the file is missing, or (as Windows tells apart) its folder is.
uint32_t MissingErrorOf(const std::string& host) {
  const std::string::size_type slash = host.rfind('/');
  struct stat folder;
  if (slash != std::string::npos && slash > 0 &&
      (stat(host.substr(0, slash).c_str(), &folder) != 0 || !S_ISDIR(folder.st_mode)))
    return kErrorPathNotFound;
  return kErrorFileNotFound;
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

struct OpenFile {
  std::string host;
  // The length this handle is known to have given the file (Reserve, or a write that grew
  // it): a write below it takes nothing from the drive, without asking the file system. No
  // other handle can write the file meanwhile (it is opened sharing reading only).
  uint64_t knownLength = 0;
};

std::map<int, OpenFile>& OpenFiles() {
  static auto* files = new std::map<int, OpenFile>;
  return *files;
}

std::string HostOf(intptr_t handle) {
  std::lock_guard<std::mutex> hold(OpenFilesLock());
  auto found = OpenFiles().find(static_cast<int>(handle));
  return found == OpenFiles().end() ? std::string() : found->second.host;
}

void NoteLength(intptr_t handle, uint64_t length) {
  std::lock_guard<std::mutex> hold(OpenFilesLock());
  auto found = OpenFiles().find(static_cast<int>(handle));
  if (found != OpenFiles().end()) found->second.knownLength = length;
}

bool WithinKnownLength(intptr_t handle, uint64_t offset, uint64_t count) {
  std::lock_guard<std::mutex> hold(OpenFilesLock());
  auto found = OpenFiles().find(static_cast<int>(handle));
  return found != OpenFiles().end() && offset <= found->second.knownLength &&
         count <= found->second.knownLength - offset;
}

// Takes the bytes a write of count bytes at offset adds to the file from its drive. A write
// inside the reserved length (every chunk of a segmented download) costs no fstat.
bool TakeGrowth(intptr_t handle, uint64_t offset, uint64_t count, uint32_t* error) {
  if (WithinKnownLength(handle, offset, count)) return true;
  const uint64_t growth = sim::GrowthOfWrite(static_cast<int>(handle), offset, count);
  if (growth == 0) return true;
  if (sim::TakeDriveSpace(HostOf(handle), growth)) {
    NoteLength(handle, offset + count);
    return true;
  }
  return Report(error, kErrorDiskFull);
}

// A path or its last name as the sandbox holds it: "" when the machine refuses it.
std::string MappedHost(const std::wstring& path, sim::LinkUse use) {
  return sim::MapWindowsPath(path, !sim::FsRedirectionOff(), use).host;
}

}  // namespace

PositionedFile::~PositionedFile() { (void)Close(nullptr); }

bool PositionedFile::Open(const std::wstring& path, uint32_t disposition, uint32_t* error) {
  (void)Close(nullptr);
  const std::string host = MappedHost(path, sim::LinkUse::kFollow);
  if (host.empty()) return Report(error, kErrorPathNotFound);
  if (sim::RefusedToNonAdministrator(host)) return Report(error, kErrorAccessDenied);
  struct stat before;
  const bool existed = lstat(host.c_str(), &before) == 0;
  if (disposition == kNewOnly && existed) return Report(error, kErrorFileExists);
  if (disposition == kOpenExisting && !existed) return Report(error, MissingErrorOf(host));
  if (IsReadOnlyFile(host) || sim::SharingViolation(host, kGenericWrite, kFileShareRead))
    return Report(error,
                  existed && !IsReadOnlyFile(host) ? kErrorSharingViolation : kErrorAccessDenied);
  const bool truncates = disposition == kCreateAlways;
  if (truncates && !sim::WriteAfresh(host)) return Report(error, kErrorAccessDenied);
  const uint64_t truncated = truncates ? sim::RegularFileSize(host) : 0;
  // The sandbox resolved every link of the path: a link at its end now is not followed.
  int flags = O_WRONLY | O_CLOEXEC | O_NOFOLLOW;
  if (disposition == kCreateAlways) flags |= O_CREAT | O_TRUNC;
  if (disposition == kNewOnly) flags |= O_CREAT | O_EXCL;
  const int fd = open(host.c_str(), flags, 0644);
  if (fd < 0)
    return errno == ENOENT ? Report(error, MissingErrorOf(host)) : ReportErrno(error, errno);
  sim::GiveBackDriveSpace(host, truncated);
  if (!existed) sim::NoteNameAdded(host);
  handle_ = fd;
  std::lock_guard<std::mutex> hold(OpenFilesLock());
  OpenFiles()[fd] = OpenFile{host, 0};
  return true;
}

bool PositionedFile::Create(const std::wstring& path, uint32_t* error) {
  return Open(path, kCreateAlways, error);
}

bool PositionedFile::CreateNew(const std::wstring& path, uint32_t* error) {
  return Open(path, kNewOnly, error);
}

bool PositionedFile::OpenExisting(const std::wstring& path, uint32_t* error) {
  return Open(path, kOpenExisting, error);
}

bool PositionedFile::Reserve(uint64_t size, uint32_t* error) {
  if (!IsOpen()) return Report(error, kErrorInvalidHandle);
  const int fd = static_cast<int>(handle_);
  struct stat before;
  if (fstat(fd, &before) != 0) return ReportErrno(error, errno);
  const uint64_t length = static_cast<uint64_t>(before.st_size);
  // posix_fallocate only ever grows a file, as SetEndOfFile does not: a longer file is cut
  // first, and its drive gets the bytes back.
  if (size < length) {
    if (ftruncate(fd, static_cast<off_t>(size)) != 0) return ReportErrno(error, errno);
    sim::GiveBackDriveSpace(HostOf(handle_), length - size);
    NoteLength(handle_, size);
    return true;
  }
  if (size == length) {
    NoteLength(handle_, size);
    return true;
  }
  if (!TakeGrowth(handle_, 0, size, error)) return false;
  // posix_fallocate returns the error instead of setting errno.
  const int failed = posix_fallocate(fd, 0, static_cast<off_t>(size));
  if (failed != 0) return ReportErrno(error, failed);
  NoteLength(handle_, size);
  return true;
}

bool PositionedFile::Size(uint64_t* size, uint32_t* error) const {
  if (!IsOpen()) return Report(error, kErrorInvalidHandle);
  struct stat info;
  if (fstat(static_cast<int>(handle_), &info) != 0) return ReportErrno(error, errno);
  *size = static_cast<uint64_t>(info.st_size);
  return true;
}

bool PositionedFile::LinkCount(uint32_t* links, uint32_t* error) const {
  if (!IsOpen()) return Report(error, kErrorInvalidHandle);
  struct stat info;
  if (fstat(static_cast<int>(handle_), &info) != 0) return ReportErrno(error, errno);
  *links = static_cast<uint32_t>(info.st_nlink);
  return true;
}

bool PositionedFile::WriteAt(uint64_t offset, const void* data, std::size_t bytes,
                             uint32_t* error) {
  const char* next = static_cast<const char*>(data);
  if (!TakeGrowth(handle_, offset, bytes, error)) return false;
  while (bytes > 0) {
    const ssize_t done = pwrite(static_cast<int>(handle_), next, bytes, static_cast<off_t>(offset));
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return ReportErrno(error, done < 0 ? errno : EIO);
    next += done;
    offset += static_cast<uint64_t>(done);
    bytes -= static_cast<std::size_t>(done);
  }
  return true;
}

bool PositionedFile::Flush(uint32_t* error) {
  if (!IsOpen()) return Report(error, kErrorInvalidHandle);
  if (fsync(static_cast<int>(handle_)) != 0) return ReportErrno(error, errno);
  return true;
}

bool PositionedFile::Close(uint32_t* error) {
  if (!IsOpen()) return true;
  const int fd = static_cast<int>(handle_);
  handle_ = -1;
  {
    std::lock_guard<std::mutex> hold(OpenFilesLock());
    OpenFiles().erase(fd);
  }
  if (close(fd) != 0) return ReportErrno(error, errno);
  return true;
}

bool PositionedFile::IsOpen() const { return handle_ >= 0; }

// MoveFileExW moves and replaces names: a link at either end is moved or replaced as the
// link, never followed.
bool ReplaceWithFile(const std::wstring& source, const std::wstring& target, uint32_t* error) {
  const std::string from = MappedHost(source, sim::LinkUse::kItself);
  const std::string to = MappedHost(target, sim::LinkUse::kItself);
  if (from.empty() || to.empty()) return Report(error, kErrorPathNotFound);
  if (sim::RefusedToNonAdministrator(from) || sim::RefusedToNonAdministrator(to))
    return Report(error, kErrorAccessDenied);
  struct stat moved;
  struct stat replaced;
  const bool freesTarget = lstat(from.c_str(), &moved) == 0 && lstat(to.c_str(), &replaced) == 0 &&
                           S_ISREG(replaced.st_mode) && replaced.st_nlink == 1 &&
                           replaced.st_ino != moved.st_ino;
  if (std::rename(from.c_str(), to.c_str()) != 0)
    return errno == ENOENT ? Report(error, MissingErrorOf(from)) : ReportErrno(error, errno);
  if (freesTarget) sim::GiveBackDriveSpace(to, static_cast<uint64_t>(replaced.st_size));
  sim::NoteNameRemoved(from);
  sim::NoteNameRemoved(to);
  return true;
}

}  // namespace platform
}  // namespace orvex
