// The file system of the simulated machine. Every path lives in the sandbox folder ("C:\\x"
// is <root>/C/x, names found without regard to case; see MapWindowsPath); a path the machine
// refuses fails every call as a missing path fails. The host keeps no Windows attributes:
// read-only is the owner's write bit, the others are remembered by the machine. The calls fail
// where Windows fails, with its error codes, also where the host would let them pass (a
// read-only file cannot be deleted even by root). A host symbolic link is what Windows calls a
// reparse point: listed and removed as the link, followed only when opened, and never out of
// the sandbox.
#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "base/text.h"
#include "platform/environment.h"
#include "platform/file_handles.h"
#include "platform/sim/machine.h"
#include "platform/sim/machine_internal.h"
#include "platform/win_codes.h"

namespace orvex {
namespace platform {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kMaxDirectoryPath = 248;

sim::MappedPath Map(const std::wstring& path, sim::LinkUse use) {
  return sim::MapWindowsPath(path, !sim::FsRedirectionOff(), use);
}

bool StatPath(const std::string& host, struct stat* info) { return stat(host.c_str(), info) == 0; }

// The entry itself: a link is not followed.
bool StatEntry(const std::string& host, struct stat* info) {
  return !host.empty() && lstat(host.c_str(), info) == 0;
}

// Whether host is a folder, or a link that points to one (Windows makes folder links and file
// links).
bool LeadsToFolder(const std::string& host) {
  struct stat target;
  return StatPath(host, &target) && S_ISDIR(target.st_mode);
}

bool IsReadOnly(const struct stat& info) { return (info.st_mode & S_IWUSR) == 0; }

// Attributes of the entry lstat described.
uint32_t AttributesOf(const std::string& host, const struct stat& info) {
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  const std::map<std::string, uint32_t>& remembered = sim::CurrentMachine().fileAttributes;
  auto found = remembered.find(host);
  const uint32_t kept = found != remembered.end() ? found->second : 0;
  if (S_ISLNK(info.st_mode)) {
    return kFileAttributeReparsePoint | kept |
           (LeadsToFolder(host) ? kFileAttributeDirectory : kFileAttributeArchive);
  }
  uint32_t attributes = 0;
  if (S_ISDIR(info.st_mode)) {
    attributes = kFileAttributeDirectory | kept;
  } else {
    // Windows marks new and copied files for archiving.
    attributes = found != remembered.end() ? found->second : kFileAttributeArchive;
  }
  if (IsReadOnly(info)) attributes |= kFileAttributeReadonly;
  if (attributes == 0) attributes = kFileAttributeNormal;
  return attributes;
}

void Forget(const std::string& host) {
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  sim::CurrentMachine().fileAttributes.erase(host);
}

// Windows wildcards: * any run, ? one character, without regard to case; "*.*" is every name.
bool WildcardMatches(const std::wstring& name, std::size_t n, const std::wstring& pattern,
                     std::size_t p) {
  while (p < pattern.size()) {
    if (pattern[p] == L'*') {
      if (pattern.compare(p, std::wstring::npos, L"*.*") == 0) return true;
      for (std::size_t from = n; from <= name.size(); ++from)
        if (WildcardMatches(name, from, pattern, p + 1)) return true;
      return false;
    }
    if (n >= name.size()) return false;
    if (pattern[p] != L'?' && sim::FoldCase(pattern[p]) != sim::FoldCase(name[n])) return false;
    ++p;
    ++n;
  }
  return n == name.size();
}

class SimFileSearch : public IFileSearch {
 public:
  explicit SimFileSearch(std::vector<FindData> entries) : entries_(std::move(entries)) {}

  bool Next(FindData* entry, uint32_t* error) override {
    if (next_ >= entries_.size()) {
      if (error) *error = kErrorNoMoreFiles;
      return false;
    }
    if (entry) *entry = entries_[next_];
    ++next_;
    return true;
  }

 private:
  std::vector<FindData> entries_;
  std::size_t next_ = 1;  // the first entry went out with FindFirstFileW
};

// A drive's root lists no "." or "..".
bool IsDriveRoot(const std::string& host) {
  return fs::path(host).parent_path() == fs::path(sim::SandboxRoot());
}

// A file being written through OpenForWriting: every write takes the bytes the file grows by
// from its drive, so the machine's disk fills as Windows' would.
struct WrittenFile {
  int descriptor;
  std::string host;
};

ssize_t WriteCounted(void* cookie, const char* data, size_t size) {
  WrittenFile* file = static_cast<WrittenFile*>(cookie);
  const off_t position = lseek(file->descriptor, 0, SEEK_CUR);
  if (position < 0) return 0;
  if (!sim::TakeDriveSpace(file->host, sim::GrowthOfWrite(file->descriptor,
                                                          static_cast<uint64_t>(position), size))) {
    errno = ENOSPC;
    return 0;
  }
  size_t done = 0;
  while (done < size) {
    const ssize_t put = write(file->descriptor, data + done, size - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) break;
    done += static_cast<size_t>(put);
  }
  return static_cast<ssize_t>(done);
}

int SeekCounted(void* cookie, off64_t* offset, int whence) {
  const off_t position = lseek(static_cast<WrittenFile*>(cookie)->descriptor, *offset, whence);
  if (position < 0) return -1;
  *offset = position;
  return 0;
}

int CloseCounted(void* cookie) {
  WrittenFile* file = static_cast<WrittenFile*>(cookie);
  const int closed = close(file->descriptor);
  delete file;
  return closed;
}

// Opens the mapped file without following a link at its end: the sandbox resolved every link
// of the path, so one found there now was put there since, and is not the file meant.
int OpenMapped(const std::string& host, int flags, int* error) {
  const int descriptor = open(host.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (descriptor < 0 && error) *error = errno;
  return descriptor;
}

// _wfopen(path, "wb") on the machine; null with the Windows error in *error when it is refused.
std::FILE* OpenWritable(const std::wstring& path, uint32_t* error) {
  const sim::MappedPath mapped = Map(path, sim::LinkUse::kFollow);
  if (mapped.nullDevice) return std::fopen("/dev/null", "wb");
  if (mapped.host.empty()) {
    *error = mapped.error;
    return nullptr;
  }
  struct stat info;
  if ((StatPath(mapped.host, &info) && IsReadOnly(info)) ||
      sim::RefusedToNonAdministrator(mapped.host)) {
    *error = kErrorAccessDenied;
    return nullptr;
  }
  // _wfopen shares reading and writing; a handle that shares neither keeps it out.
  if (StatPath(mapped.host, &info) &&
      sim::SharingViolation(mapped.host, kGenericWrite, kFileShareRead | kFileShareWrite)) {
    *error = kErrorSharingViolation;
    return nullptr;
  }
  if (!sim::WriteAfresh(mapped.host)) {
    *error = kErrorAccessDenied;
    return nullptr;
  }
  const bool existed = StatEntry(mapped.host, &info);
  const uint64_t truncated = sim::RegularFileSize(mapped.host);
  int openError = 0;
  const int descriptor = OpenMapped(mapped.host, O_WRONLY | O_CREAT | O_TRUNC, &openError);
  if (descriptor < 0) {
    *error = sim::WindowsErrorOfErrno(openError);
    return nullptr;
  }
  sim::GiveBackDriveSpace(mapped.host, truncated);
  if (!existed) sim::NoteNameAdded(mapped.host);
  cookie_io_functions_t functions = {nullptr, &WriteCounted, &SeekCounted, &CloseCounted};
  auto* cookie = new WrittenFile{descriptor, mapped.host};
  std::FILE* file = fopencookie(cookie, "wb", functions);
  if (!file) {
    *error = sim::WindowsErrorOfErrno(errno);
    CloseCounted(cookie);
  }
  return file;
}

// _wfopen(path, "rb") on the machine; null with the Windows error in *error when it is refused:
// a missing file or folder as CreateFileW reports them, a folder as access denied (Linux opens
// one for reading), a file held without read sharing as a sharing violation.
std::FILE* OpenReadable(const std::wstring& path, uint32_t* error) {
  const sim::MappedPath mapped = Map(path, sim::LinkUse::kFollow);
  if (mapped.nullDevice) return std::fopen("/dev/null", "rb");
  if (mapped.host.empty()) {
    *error = mapped.error;
    return nullptr;
  }
  struct stat info;
  if (!StatPath(mapped.host, &info)) {
    const int missing = errno;
    *error = missing == ENOENT && LeadsToFolder(fs::path(mapped.host).parent_path().string())
                 ? kErrorFileNotFound
                 : sim::WindowsErrorOfErrno(missing);
    return nullptr;
  }
  if (S_ISDIR(info.st_mode)) {
    *error = kErrorAccessDenied;
    return nullptr;
  }
  // _wfopen shares reading and writing; a handle that shares no reading keeps it out.
  if (sim::SharingViolation(mapped.host, kGenericRead, kFileShareRead | kFileShareWrite)) {
    *error = kErrorSharingViolation;
    return nullptr;
  }
  int openError = 0;
  const int descriptor = OpenMapped(mapped.host, O_RDONLY, &openError);
  if (descriptor < 0) {
    *error = sim::WindowsErrorOfErrno(openError);
    return nullptr;
  }
  std::FILE* file = fdopen(descriptor, "rb");
  if (!file) {
    *error = sim::WindowsErrorOfErrno(errno);
    close(descriptor);
  }
  return file;
}

}  // namespace

ScopedFile OpenForWriting(const std::wstring& path, uint32_t* error) {
  uint32_t refused = 0;
  ScopedFile file(OpenWritable(path, &refused));
  if (!file && error) *error = refused;
  return file;
}

ScopedFile OpenForReading(const std::wstring& path, uint32_t* error) {
  uint32_t refused = 0;
  ScopedFile file(OpenReadable(path, &refused));
  if (!file && error) *error = refused;
  return file;
}

bool MakeDirectory(const std::wstring& path, uint32_t* error) {
  const sim::MappedPath mapped = Map(path, sim::LinkUse::kItself);
  if (mapped.host.empty()) {
    if (error) *error = mapped.error;
    return false;
  }
  // CreateDirectoryW leaves room for an 8.3 name below the folder: the path and its zero fit
  // 248 characters.
  if (!mapped.longForm && mapped.length >= kMaxDirectoryPath) {
    if (error) *error = kErrorFilenameExcedRange;
    return false;
  }
  if (sim::RefusedToNonAdministrator(mapped.host)) return ReportError(kErrorAccessDenied, error);
  if (mkdir(mapped.host.c_str(), 0777) == 0) {
    sim::NoteNameAdded(mapped.host);
    return true;
  }
  if (error) *error = sim::WindowsErrorOfErrno(errno);
  return false;
}

bool RemoveEmptyDirectory(const std::wstring& path) {
  const std::string host = Map(path, sim::LinkUse::kItself).host;
  struct stat info;
  if (!StatEntry(host, &info) || sim::RefusedToNonAdministrator(host)) return false;
  if (S_ISLNK(info.st_mode)) {
    // RemoveDirectoryW removes a folder link, never what it points to.
    if (!LeadsToFolder(host) || unlink(host.c_str()) != 0) return false;
    sim::NoteNameRemoved(host);
  } else {
    if (!S_ISDIR(info.st_mode) || IsReadOnly(info) || IsDriveRoot(host)) return false;
    if (rmdir(host.c_str()) != 0) return false;
    sim::NoteNameRemoved(host);
    sim::ForgetAdminOnlyFolder(host);
  }
  Forget(host);
  return true;
}

bool RemoveLinkItself(const std::wstring& path) {
  const std::string host = Map(path, sim::LinkUse::kItself).host;
  struct stat info;
  if (!StatEntry(host, &info) || !S_ISLNK(info.st_mode) || sim::RefusedToNonAdministrator(host))
    return false;
  if (unlink(host.c_str()) != 0) return false;
  sim::NoteNameRemoved(host);
  Forget(host);
  return true;
}

bool DeleteFileAt(const std::wstring& path) {
  const std::string host = Map(path, sim::LinkUse::kItself).host;
  struct stat info;
  if (!StatEntry(host, &info) || S_ISDIR(info.st_mode) || sim::RefusedToNonAdministrator(host))
    return false;
  if (S_ISLNK(info.st_mode) ? LeadsToFolder(host) : IsReadOnly(info)) return false;
  // The last name of a file frees its bytes.
  const uint64_t freed = info.st_nlink == 1 ? sim::RegularFileSize(host) : 0;
  if (unlink(host.c_str()) != 0) return false;
  sim::NoteNameRemoved(host);
  sim::GiveBackDriveSpace(host, freed);
  Forget(host);
  return true;
}

namespace {

// Copies the bytes of one open file to another, taking what the target grows by from its drive.
bool CopyBytes(int from, int to, const std::string& target) {
  static thread_local char block[64 * 1024];
  for (;;) {
    const ssize_t got = read(from, block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    const off_t position = lseek(to, 0, SEEK_CUR);
    if (position < 0 ||
        !sim::TakeDriveSpace(target, sim::GrowthOfWrite(to, static_cast<uint64_t>(position),
                                                        static_cast<uint64_t>(got))))
      return false;
    for (ssize_t done = 0; done < got;) {
      const ssize_t put = write(to, block + done, static_cast<size_t>(got - done));
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      done += put;
    }
  }
}

}  // namespace

bool CopyFileTo(const std::wstring& source, const std::wstring& target, bool failIfExists) {
  const std::string from = Map(source, sim::LinkUse::kFollow).host;
  const std::string to = Map(target, sim::LinkUse::kFollow).host;
  if (from.empty() || to.empty() || sim::RefusedToNonAdministrator(to)) return false;
  struct stat sourceInfo;
  struct stat targetInfo;
  if (!StatPath(from, &sourceInfo) || S_ISDIR(sourceInfo.st_mode)) return false;
  if (StatPath(to, &targetInfo)) {
    if (failIfExists || S_ISDIR(targetInfo.st_mode) || IsReadOnly(targetInfo)) return false;
    if (targetInfo.st_dev == sourceInfo.st_dev && targetInfo.st_ino == sourceInfo.st_ino)
      return false;  // Windows cannot open the source and the target at once
    if (sim::SharingViolation(to, kGenericWrite, 0)) return false;
  }
  const int input = OpenMapped(from, O_RDONLY, nullptr);
  if (input < 0) return false;
  // A target that must be new is made new: nothing that appeared there since is written.
  if (!failIfExists && !sim::WriteAfresh(to)) {
    close(input);
    return false;
  }
  const bool existed = StatEntry(to, &targetInfo);
  const uint64_t truncated = sim::RegularFileSize(to);
  const int output =
      OpenMapped(to, O_WRONLY | O_CREAT | (failIfExists ? O_EXCL : O_TRUNC), nullptr);
  if (output < 0) {
    close(input);
    return false;
  }
  sim::GiveBackDriveSpace(to, truncated);
  if (!existed) sim::NoteNameAdded(to);
  const bool copied = CopyBytes(input, output, to);
  close(input);
  if (close(output) != 0 || !copied) {
    // CopyFileW removes its incomplete target too; the copy fails either way.
    (void)DeleteFileAt(target);
    return false;
  }
  // The copy keeps the source's attributes, read-only included.
  chmod(to.c_str(), sourceInfo.st_mode & 07777);
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  auto& remembered = sim::CurrentMachine().fileAttributes;
  auto found = remembered.find(from);
  if (found != remembered.end())
    remembered[to] = found->second;
  else
    remembered.erase(to);
  return true;
}

uint32_t FileAttributes(const std::wstring& path) {
  const std::string host = Map(path, sim::LinkUse::kItself).host;
  struct stat info;
  if (!StatEntry(host, &info)) return kInvalidFileAttributes;
  return AttributesOf(host, info);
}

bool ChangeFileAttributes(const std::wstring& path, uint32_t attributes) {
  const std::string host = Map(path, sim::LinkUse::kItself).host;
  struct stat info;
  if (!StatEntry(host, &info) || sim::RefusedToNonAdministrator(host)) return false;
  // A link has no mode of its own on the host; its attributes are only remembered.
  if (!S_ISLNK(info.st_mode)) {
    if (!sim::MayChangeInPlace(host)) return false;
    const mode_t mode =
        (attributes & kFileAttributeReadonly) ? (info.st_mode & ~0222) : (info.st_mode | S_IWUSR);
    if (chmod(host.c_str(), mode & 07777) != 0) return false;
  }
  // FILE_ATTRIBUTE_NORMAL alone, or nothing, leaves a file with no attribute.
  uint32_t kept =
      attributes & ~(kFileAttributeReadonly | kFileAttributeDirectory | kFileAttributeReparsePoint);
  if (kept == kFileAttributeNormal) kept = 0;
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  sim::CurrentMachine().fileAttributes[host] = kept;
  return true;
}

bool PathExists(const std::wstring& path) {
  struct stat info;
  return StatEntry(Map(path, sim::LinkUse::kItself).host, &info);
}

std::wstring TempPath() {
  // GetTempPathW takes the first of TMP, TEMP, USERPROFILE that is set, else the Windows folder.
  std::string folder;
  for (const char* name : {"TMP", "TEMP", "USERPROFILE", "SystemRoot"})
    if (FindEnvironmentVariable(name, &folder) && !folder.empty()) break;
  std::wstring path = Utf8ToWide(folder);
  if (path.empty()) return std::wstring();
  if (path.back() != L'\\') path += L'\\';
  // The result and its terminating zero must fit the 261-character buffer.
  if (path.size() >= 261) return std::wstring();
  return path;
}

std::wstring SystemDirectory() {
  // Windows' own folder, which no variable of the process changes: the profile's
  // "systemDirectory", else the usual one.
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  const Json::Value& profile = sim::CurrentMachine().profile;
  const Json::Value& folder = profile["systemDirectory"];
  return folder.isString() ? Utf8ToWide(folder.asString()) : std::wstring(L"C:\\Windows\\system32");
}

std::unique_ptr<IFileSearch> StartFileSearch(const std::wstring& pattern, FindData* first) {
  const std::size_t split = pattern.find_last_of(L"\\/");
  const std::wstring directory = split == std::wstring::npos ? L"." : pattern.substr(0, split);
  const std::wstring namePattern =
      split == std::wstring::npos ? pattern : pattern.substr(split + 1);
  const std::string host = Map(directory.empty() ? L"\\" : directory, sim::LinkUse::kFollow).host;
  if (host.empty()) return nullptr;
  DIR* listing = opendir(host.c_str());
  if (!listing) return nullptr;
  std::vector<FindData> entries;
  while (dirent* entry = readdir(listing)) {
    const std::wstring name = Utf8ToWide(entry->d_name);
    if (name == L"." || name == L".." || !WildcardMatches(name, 0, namePattern, 0)) continue;
    struct stat info;
    const std::string full = host + "/" + entry->d_name;
    if (!StatEntry(full, &info)) continue;
    FindData data;
    data.name = name;
    data.attributes = AttributesOf(full, info);
    entries.push_back(data);
  }
  closedir(listing);
  // NTFS keeps a folder's names in upper-case order.
  std::sort(entries.begin(), entries.end(),
            [](const FindData& a, const FindData& b) { return sim::NoCaseLess()(a.name, b.name); });
  // A folder other than a drive's root lists itself and its parent first.
  if (!IsDriveRoot(host)) {
    struct stat info;
    if (StatPath(host, &info)) {
      std::vector<FindData> dots(2);
      dots[0].name = L".";
      dots[1].name = L"..";
      dots[0].attributes = dots[1].attributes = AttributesOf(host, info);
      for (auto dot = dots.rbegin(); dot != dots.rend(); ++dot)
        if (WildcardMatches(dot->name, 0, namePattern, 0)) entries.insert(entries.begin(), *dot);
    }
  }
  if (entries.empty()) return nullptr;
  if (first) *first = entries[0];
  return std::unique_ptr<IFileSearch>(new SimFileSearch(std::move(entries)));
}

// Only a 32-bit program on 64-bit Windows is redirected; on the simulated machine the flag is
// kept per thread, as Windows keeps it.
ScopedFsRedirectionOff::ScopedFsRedirectionOff() {
  disabled_ = !sim::FsRedirectionOff();
  if (disabled_) sim::SetFsRedirectionOff(true);
}

ScopedFsRedirectionOff::~ScopedFsRedirectionOff() {
  if (disabled_) sim::SetFsRedirectionOff(false);
}

}  // namespace platform

namespace sim {

uint32_t WindowsErrorOfErrno(int errnoValue) {
  switch (errnoValue) {
    case EEXIST:
      return platform::kErrorAlreadyExists;
    case ENOENT:
    case ENOTDIR:
    case ELOOP:  // a link put at the name since the sandbox resolved it: not followed
      return platform::kErrorPathNotFound;
    case ENOSPC:
      return platform::kErrorDiskFull;
    case ENAMETOOLONG:
      return platform::kErrorFilenameExcedRange;
    case EMFILE:
    case ENFILE:
      return platform::kErrorTooManyOpenFiles;
    case ENOMEM:
      return platform::kErrorNotEnoughMemory;
    default:
      return platform::kErrorAccessDenied;
  }
}

}  // namespace sim
}  // namespace orvex
