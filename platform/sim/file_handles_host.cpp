// File handles of the simulated machine: host file descriptors behind handle numbers, on the
// sandbox paths of the file facility. What Windows refuses is refused here too: writing a
// read-only file, opening a folder, following a link out of the sandbox. The machine has no
// time zone: local time is UTC. Windows keeps creation times that the host cannot; only the
// attributes of SetFileInformationByHandle reach the file. Paths are mapped into the sandbox
// as the file facility maps them.
#include "platform/file_handles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <mutex>

#include "platform/files.h"
#include "platform/sim/machine.h"
#include "platform/sim/machine_internal.h"
#include "platform/win_codes.h"

namespace orvex {
namespace platform {
namespace {

struct OpenFile {
  int descriptor = -1;
  std::wstring windowsPath;
  std::string host;
  bool readable = false;
  bool writable = false;
  uint32_t shareMode = 0;
  dev_t device = 0;
  ino_t inode = 0;
};

std::mutex& HandleLock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}

std::map<intptr_t, OpenFile>& Handles() {
  static auto* handles = new std::map<intptr_t, OpenFile>;
  return *handles;
}

// Handle values look like Windows' own: small multiples of four.
intptr_t NextHandleValue() {
  static intptr_t next = 0x100;
  next += 4;
  return next;
}

bool Find(intptr_t handle, OpenFile* file) {
  std::lock_guard<std::mutex> hold(HandleLock());
  auto found = Handles().find(handle);
  if (found == Handles().end()) return false;
  *file = found->second;
  return true;
}

// The sandbox's file for a Windows path, as the file facility maps it: "" when the machine
// refuses the path (empty, UNC, a device, a link out of the sandbox).
std::string HostFilePath(const std::wstring& path) {
  const sim::MappedPath mapped =
      sim::MapWindowsPath(path, !sim::FsRedirectionOff(), sim::LinkUse::kFollow);
  if (mapped.nullDevice) return "/dev/null";
  std::string host = mapped.host;
  while (host.size() > 1 && host.back() == '/') host.pop_back();
  return host;
}

// Days from 1601-01-01 to the given civil date (proleptic Gregorian).
int64_t DaysSince1601(int year, int month, int day) {
  const int y = month <= 2 ? year - 1 : year;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yearOfEra = y - era * 400;
  const int dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  const int64_t daysSince1970 = static_cast<int64_t>(era) * 146097 + dayOfEra - 719468;
  return daysSince1970 + 134774;  // 1601-01-01 to 1970-01-01
}

}  // namespace

}  // namespace platform

namespace sim {

bool SharingViolation(const std::string& host, uint32_t access, uint32_t shareMode) {
  struct stat info;
  if (host.empty() || stat(host.c_str(), &info) != 0) return false;
  const bool reads = (access & platform::kGenericRead) != 0;
  const bool writes = (access & platform::kGenericWrite) != 0;
  std::lock_guard<std::mutex> hold(platform::HandleLock());
  for (const auto& entry : platform::Handles()) {
    const platform::OpenFile& open = entry.second;
    if (open.device != info.st_dev || open.inode != info.st_ino) continue;
    if (reads && !(open.shareMode & platform::kFileShareRead)) return true;
    if (writes && !(open.shareMode & platform::kFileShareWrite)) return true;
    if (open.readable && !(shareMode & platform::kFileShareRead)) return true;
    if (open.writable && !(shareMode & platform::kFileShareWrite)) return true;
  }
  return false;
}

}  // namespace sim

namespace platform {

intptr_t CreateFileHandle(const std::wstring& path, uint32_t access, uint32_t shareMode,
                          uint32_t disposition) {
  const std::string host = HostFilePath(path);
  if (host.empty()) return kInvalidFileHandle;
  const bool readable = (access & kGenericRead) != 0;
  const bool writable = (access & kGenericWrite) != 0;
  if ((writable || disposition == kCreateAlways) && sim::RefusedToNonAdministrator(host))
    return kInvalidFileHandle;
  // The path is free of links (the sandbox resolved them); one that appears at its end now is
  // not followed.
  int flags = O_CLOEXEC | (host == "/dev/null" ? 0 : O_NOFOLLOW);
  flags |= readable && writable ? O_RDWR : writable ? O_WRONLY : O_RDONLY;
  if (disposition == kCreateAlways)
    flags |= O_CREAT | O_TRUNC;
  else if (disposition != kOpenExisting)
    return kInvalidFileHandle;
  struct stat info;
  uint64_t truncated = 0;
  const bool existed = lstat(host.c_str(), &info) == 0;
  if (stat(host.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return kInvalidFileHandle;
    // A read-only file cannot be opened for writing, even by root.
    if (writable && (info.st_mode & S_IWUSR) == 0) return kInvalidFileHandle;
    if (sim::SharingViolation(host, access, shareMode)) return kInvalidFileHandle;
    if (disposition == kCreateAlways ? !sim::WriteAfresh(host)
                                     : writable && !sim::MayChangeInPlace(host))
      return kInvalidFileHandle;
    if (disposition == kCreateAlways) truncated = sim::RegularFileSize(host);
  }
  const int descriptor = open(host.c_str(), flags, 0666);
  if (descriptor < 0) return kInvalidFileHandle;
  sim::GiveBackDriveSpace(host, truncated);
  if (!existed && host != "/dev/null") sim::NoteNameAdded(host);
  OpenFile file;
  file.descriptor = descriptor;
  file.windowsPath = path;
  file.host = host;
  file.readable = readable;
  file.writable = writable;
  file.shareMode = shareMode;
  if (fstat(descriptor, &info) == 0) {
    file.device = info.st_dev;
    file.inode = info.st_ino;
  }
  std::lock_guard<std::mutex> hold(HandleLock());
  const intptr_t handle = NextHandleValue();
  Handles()[handle] = file;
  return handle;
}

bool ReadFromHandle(intptr_t handle, void* buffer, uint32_t count, uint32_t* done) {
  if (done) *done = 0;
  OpenFile file;
  if (!Find(handle, &file) || !file.readable) return false;
  const ssize_t got = read(file.descriptor, buffer, count);
  if (got < 0) return false;
  if (done) *done = static_cast<uint32_t>(got);
  return true;
}

bool WriteToHandle(intptr_t handle, const void* buffer, uint32_t count, uint32_t* done) {
  if (done) *done = 0;
  OpenFile file;
  if (!Find(handle, &file) || !file.writable) return false;
  const off_t position = lseek(file.descriptor, 0, SEEK_CUR);
  if (position < 0 ||
      !sim::TakeDriveSpace(
          file.host, sim::GrowthOfWrite(file.descriptor, static_cast<uint64_t>(position), count)))
    return false;  // ERROR_DISK_FULL
  uint32_t total = 0;
  while (total < count) {
    const ssize_t put =
        write(file.descriptor, static_cast<const char*>(buffer) + total, count - total);
    if (put <= 0) {
      if (put < 0 && errno == EINTR) continue;
      if (done) *done = total;
      return false;
    }
    total += static_cast<uint32_t>(put);
  }
  if (done) *done = total;
  return true;
}

bool CloseFileHandle(intptr_t handle) {
  int descriptor = -1;
  {
    std::lock_guard<std::mutex> hold(HandleLock());
    auto found = Handles().find(handle);
    if (found == Handles().end()) return false;
    descriptor = found->second.descriptor;
    Handles().erase(found);
  }
  return close(descriptor) == 0;
}

uint32_t SetHandlePosition(intptr_t handle, int32_t distance, int method) {
  OpenFile file;
  if (!Find(handle, &file)) return kInvalidSetFilePointer;
  const int whence = method == kFileBegin     ? SEEK_SET
                     : method == kFileCurrent ? SEEK_CUR
                     : method == kFileEnd     ? SEEK_END
                                              : -1;
  if (whence < 0) return kInvalidSetFilePointer;
  const off_t position = lseek(file.descriptor, distance, whence);
  // Without a high part, SetFilePointer cannot report positions of 4 GiB and more.
  if (position < 0 || position >= static_cast<off_t>(kInvalidSetFilePointer))
    return kInvalidSetFilePointer;
  return static_cast<uint32_t>(position);
}

bool DosDateTimeToFileTime(uint16_t date, uint16_t time, uint64_t* fileTime) {
  const int day = date & 0x1F;
  const int month = (date >> 5) & 0x0F;
  const int year = 1980 + (date >> 9);
  const int seconds = (time & 0x1F) * 2;
  const int minutes = (time >> 5) & 0x3F;
  const int hours = time >> 11;
  if (day < 1 || day > 31 || month < 1 || month > 12 || hours > 23 || minutes > 59 || seconds > 59)
    return false;
  const int64_t total =
      ((DaysSince1601(year, month, day) * 24 + hours) * 60 + minutes) * 60 + seconds;
  if (fileTime) *fileTime = static_cast<uint64_t>(total) * 10000000u;
  return true;
}

bool LocalFileTimeToFileTime(uint64_t localTime, uint64_t* utcTime) {
  if (utcTime) *utcTime = localTime;
  return true;
}

bool SetFileBasicInfo(intptr_t handle, const HandleBasicInfo& info) {
  OpenFile file;
  if (!Find(handle, &file) || !file.writable) return false;
  if (info.attributes == 0) return true;
  return ChangeFileAttributes(file.windowsPath, info.attributes);
}

}  // namespace platform
}  // namespace orvex
