// The file system of the simulated machine. Drive paths live in the sandbox folder ("C:\\x"
// is <root>/C/x, names found without regard to case); other paths are host paths whose
// backslashes become slashes, since the installer builds paths as directory + "\\" + file.
// The host keeps no Windows attributes: read-only is the owner's write bit, the others are
// remembered by the machine. The calls fail where Windows fails, with its error codes, also
// where the host would let them pass (a read-only file cannot be deleted even by root).
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "base/text.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/sim/machine.h"
#include "platform/sim/machine_internal.h"
#include "platform/win_codes.h"

namespace orvex {
namespace platform {
namespace {

namespace fs = std::filesystem;

std::string Host(const std::wstring& path) {
  std::string host = sim::HostPath(path);
  // "C:\\Temp\\" names the folder itself.
  while (host.size() > 1 && host.back() == '/') host.pop_back();
  return host;
}

bool StatPath(const std::string& host, struct stat* info) { return stat(host.c_str(), info) == 0; }

bool IsReadOnly(const struct stat& info) { return (info.st_mode & S_IWUSR) == 0; }

uint32_t AttributesOf(const std::string& host, const struct stat& info) {
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  const std::map<std::string, uint32_t>& remembered = sim::CurrentMachine().fileAttributes;
  auto found = remembered.find(host);
  uint32_t attributes = 0;
  if (S_ISDIR(info.st_mode)) {
    attributes = kFileAttributeDirectory | (found != remembered.end() ? found->second : 0);
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

uint32_t WindowsError(int error) {
  switch (error) {
    case EEXIST:
      return kErrorAlreadyExists;
    case ENOENT:
    case ENOTDIR:
      return kErrorPathNotFound;
    default:
      return kErrorAccessDenied;
  }
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

bool IsDriveRoot(const std::wstring& directory) {
  return directory.size() <= 3 && directory.size() >= 2 && directory[1] == L':';
}

}  // namespace

std::FILE* OpenForWriting(const std::wstring& path, int* error) {
  const std::string host = Host(path);
  struct stat info;
  if (StatPath(host, &info) && IsReadOnly(info)) {
    if (error) *error = EACCES;
    return nullptr;
  }
  errno = 0;
  std::FILE* file = std::fopen(host.c_str(), "wb");
  if (!file && error) *error = errno;
  return file;
}

std::FILE* OpenForReading(const std::wstring& path) { return std::fopen(Host(path).c_str(), "rb"); }

bool MakeDirectory(const std::wstring& path, uint32_t* error) {
  const std::string host = Host(path);
  if (mkdir(host.c_str(), 0777) == 0) return true;
  if (error) *error = WindowsError(errno);
  return false;
}

bool RemoveEmptyDirectory(const std::wstring& path) {
  const std::string host = Host(path);
  struct stat info;
  if (!StatPath(host, &info) || !S_ISDIR(info.st_mode) || IsReadOnly(info)) return false;
  if (rmdir(host.c_str()) != 0) return false;
  Forget(host);
  return true;
}

bool DeleteFileAt(const std::wstring& path) {
  const std::string host = Host(path);
  struct stat info;
  if (lstat(host.c_str(), &info) != 0 || S_ISDIR(info.st_mode) || IsReadOnly(info)) return false;
  if (unlink(host.c_str()) != 0) return false;
  Forget(host);
  return true;
}

bool CopyFileTo(const std::wstring& source, const std::wstring& target, bool failIfExists) {
  const std::string from = Host(source);
  const std::string to = Host(target);
  struct stat sourceInfo;
  struct stat targetInfo;
  if (!StatPath(from, &sourceInfo) || S_ISDIR(sourceInfo.st_mode)) return false;
  if (StatPath(to, &targetInfo)) {
    if (failIfExists || S_ISDIR(targetInfo.st_mode) || IsReadOnly(targetInfo)) return false;
  }
  std::error_code failed;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, failed);
  if (failed) return false;
  // The copy keeps the source's attributes, read-only included.
  chmod(to.c_str(), sourceInfo.st_mode & 07777);
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  auto& remembered = sim::CurrentMachine().fileAttributes;
  auto found = remembered.find(from);
  if (found != remembered.end()) remembered[to] = found->second;
  else remembered.erase(to);
  return true;
}

uint32_t FileAttributes(const std::wstring& path) {
  const std::string host = Host(path);
  struct stat info;
  if (!StatPath(host, &info)) return kInvalidFileAttributes;
  return AttributesOf(host, info);
}

bool ChangeFileAttributes(const std::wstring& path, uint32_t attributes) {
  const std::string host = Host(path);
  struct stat info;
  if (!StatPath(host, &info)) return false;
  const mode_t mode = (attributes & kFileAttributeReadonly) ? (info.st_mode & ~0222) : (info.st_mode | S_IWUSR);
  if (chmod(host.c_str(), mode & 07777) != 0) return false;
  // FILE_ATTRIBUTE_NORMAL alone, or nothing, leaves a file with no attribute.
  uint32_t kept = attributes & ~(kFileAttributeReadonly | kFileAttributeDirectory);
  if (kept == kFileAttributeNormal) kept = 0;
  std::lock_guard<std::recursive_mutex> hold(sim::MachineLock());
  sim::CurrentMachine().fileAttributes[host] = kept;
  return true;
}

bool PathExists(const std::wstring& path) {
  struct stat info;
  return StatPath(Host(path), &info);
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

std::unique_ptr<IFileSearch> StartFileSearch(const std::wstring& pattern, FindData* first) {
  const std::size_t split = pattern.find_last_of(L"\\/");
  const std::wstring directory = split == std::wstring::npos ? L"." : pattern.substr(0, split);
  const std::wstring namePattern = split == std::wstring::npos ? pattern : pattern.substr(split + 1);
  const std::string host = Host(directory.empty() ? L"\\" : directory);
  DIR* listing = opendir(host.c_str());
  if (!listing) return nullptr;
  std::vector<FindData> entries;
  while (dirent* entry = readdir(listing)) {
    const std::wstring name = Utf8ToWide(entry->d_name);
    if (name == L"." || name == L".." || !WildcardMatches(name, 0, namePattern, 0)) continue;
    struct stat info;
    const std::string full = host + "/" + entry->d_name;
    if (!StatPath(full, &info)) continue;
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
  if (!IsDriveRoot(directory)) {
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
}  // namespace orvex
