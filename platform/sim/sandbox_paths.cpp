// Windows paths of the simulated machine as host paths inside its sandbox. The dry run reads
// configurations nobody checked on machines we do not know: whatever a path says (a host
// path, a UNC share, "..\\..", a device name, a link planted in the sandbox), the host file it
// names lies inside the sandbox, or the call fails as Windows fails for a missing path.
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "base/text.h"
#include "platform/sim/machine.h"
#include "platform/sim/machine_internal.h"
#include "platform/win_codes.h"

namespace orvex {
namespace sim {
namespace {

namespace fs = std::filesystem;

bool IsAsciiLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

bool StartsWithDrive(const std::wstring& path) {
  return path.size() >= 2 && path[1] == L':' && IsAsciiLetter(path[0]);
}

bool IsInvalidNameCharacter(wchar_t c) {
  return c < 0x20 || c == L'<' || c == L'>' || c == L':' || c == L'"' || c == L'|' || c == L'?' ||
         c == L'*';
}

// "NUL", "con.txt", "COM1 ": Windows opens the device whatever the folder or extension.
std::wstring DeviceName(const std::wstring& name) {
  std::wstring base = name.substr(0, name.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  const std::wstring folded = FoldCase(base);
  if (folded == L"NUL" || folded == L"CON" || folded == L"PRN" || folded == L"AUX") return folded;
  if (folded.size() == 4 &&
      (folded.compare(0, 3, L"COM") == 0 || folded.compare(0, 3, L"LPT") == 0) &&
      folded[3] >= L'1' && folded[3] <= L'9')
    return folded;
  return std::wstring();
}

MappedPath Refused(uint32_t error) {
  MappedPath refused;
  refused.error = error;
  return refused;
}

// Where a path starts: its drive letter and the names before its own ("C:\\Users\\john" for a
// relative path whose current directory that is).
struct Start {
  wchar_t drive = L'C';
  std::vector<std::wstring> names;
  std::wstring rest;  // the path after its drive and root
};

Start StartOf(const std::wstring& path, const std::wstring& currentDirectory) {
  Start start;
  const bool haveCurrent = StartsWithDrive(currentDirectory);
  const wchar_t currentDrive = haveCurrent ? FoldCase(currentDirectory[0]) : L'C';
  const std::vector<std::wstring> currentNames =
      haveCurrent ? Split(currentDirectory.substr(2), L'\\', true) : std::vector<std::wstring>();
  start.drive = currentDrive;
  if (StartsWithDrive(path)) {
    start.drive = FoldCase(path[0]);
    start.rest = path.substr(2);
    // "C:x" is relative to the drive's current directory; only the current drive has one here.
    if (!start.rest.empty() && start.rest[0] == L'\\') return start;
    if (start.drive == currentDrive) start.names = currentNames;
    return start;
  }
  start.rest = path;
  if (!path.empty() && path[0] == L'\\') return start;  // the current drive's root
  start.names = currentNames;
  return start;
}

// "." and "..", trailing dots and blanks, invalid characters: the names Windows would look up.
bool AppendNames(const std::wstring& rest, std::vector<std::wstring>* names, uint32_t* error) {
  for (std::wstring name : Split(rest, L'\\', true)) {
    if (name == L".") continue;
    if (name == L"..") {
      if (!names->empty()) names->pop_back();  // the drive's root has no parent
      continue;
    }
    while (!name.empty() && (name.back() == L'.' || name.back() == L' ')) name.pop_back();
    if (name.empty()) continue;
    for (wchar_t c : name) {
      if (IsInvalidNameCharacter(c)) {
        *error = platform::kErrorInvalidName;
        return false;
      }
    }
    if (name.size() > 255) {
      *error = platform::kErrorInvalidName;
      return false;
    }
    names->push_back(name);
  }
  return true;
}

// The entry of dir whose name equals name without regard to case, else name itself: Windows
// finds "System32" when asked for "system32". Links are not followed here.
std::string ResolveComponent(const std::string& dir, const std::string& name) {
  const std::string exact = dir + "/" + name;
  struct stat info;
  if (lstat(exact.c_str(), &info) == 0) return exact;
  const std::string match = FindNameNoCase(dir, name);
  return match.empty() ? exact : dir + "/" + match;
}

// MAX_PATH: a full path and its terminating zero fit 260 characters unless it is given in the
// long form ("\\?\C:\...").
constexpr std::size_t kMaxPath = 260;

std::size_t FullPathLength(const std::vector<std::wstring>& names) {
  std::size_t length = 2;  // "C:"
  for (const std::wstring& name : names) length += 1 + name.size();
  return names.empty() ? 3 : length;
}

// Walks host names from the sandbox's root one at a time, following links as the host would
// open the path, and refuses every step that leaves the sandbox: a link whose target lies
// outside is refused whether or not that target exists, so nothing created later through the
// path can land outside. The walk holds the real path, free of links, so the caller can open
// it without following any.
class SandboxWalk {
 public:
  explicit SandboxWalk(const std::string& root) : root_(root), real_(root) {}

  // One name below the current folder; a link there is followed unless followLink is false.
  bool Step(const std::string& name, bool followLink) {
    if (name.empty() || name == ".") return true;
    if (name == "..") {
      if (real_ == root_) return false;  // out of the sandbox
      real_.erase(real_.rfind('/'));
      return true;
    }
    const std::string entry = ResolveComponent(real_, name);
    struct stat info;
    if (followLink && lstat(entry.c_str(), &info) == 0 && S_ISLNK(info.st_mode))
      return FollowLink(entry);
    real_ = entry;
    return true;
  }

  const std::string& real() const { return real_; }

 private:
  // The walk stands in the link's folder; the target's names continue from there, or from the
  // sandbox's root for a target given as a host path into the sandbox.
  bool FollowLink(const std::string& link) {
    if (--linksLeft_ < 0) return false;  // a loop of links, as ELOOP
    std::error_code failed;
    const std::string target = fs::read_symlink(link, failed).string();
    if (failed || target.empty()) return false;
    std::string rest = target;
    if (target[0] == '/') {
      if (!StripRoot(target, root_, &rest) && !StripRoot(target, SandboxRoot(), &rest))
        return false;
      real_ = root_;
    }
    std::size_t from = 0;
    while (from <= rest.size()) {
      const std::size_t slash = std::min(rest.find('/', from), rest.size());
      if (!Step(rest.substr(from, slash - from), true)) return false;
      from = slash + 1;
    }
    return true;
  }

  static bool StripRoot(const std::string& path, const std::string& root, std::string* rest) {
    if (path == root) {
      rest->clear();
      return true;
    }
    if (path.size() <= root.size() || path.compare(0, root.size(), root) != 0 ||
        path[root.size()] != '/')
      return false;
    *rest = path.substr(root.size() + 1);
    return true;
  }

  std::string root_;
  std::string real_;
  int linksLeft_ = 32;
};

// SystemRoot\System32 of a 32-bit process on 64-bit Windows is SystemRoot\SysWOW64.
void Redirect(std::vector<std::wstring>& names) {
  std::string value;
  std::wstring systemRoot =
      ProfileEnvironmentVariable("SystemRoot", &value) ? Utf8ToWide(value) : std::wstring();
  if (!StartsWithDrive(systemRoot)) systemRoot = L"C:\\Windows";
  std::vector<std::wstring> rootNames = Split(systemRoot.substr(2), L'\\', true);
  if (names.size() <= rootNames.size()) return;
  for (std::size_t i = 0; i < rootNames.size(); ++i)
    if (!EqualsNoCase(names[i], rootNames[i])) return;
  if (EqualsNoCase(names[rootNames.size()], L"System32")) names[rootNames.size()] = L"SysWOW64";
}

}  // namespace

MappedPath MapWindowsPath(const std::wstring& windowsPath, bool redirect, LinkUse use) {
  std::wstring path = windowsPath;
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  // Windows names no file by the empty text: not the current directory, least of all the root.
  if (path.empty()) return Refused(platform::kErrorPathNotFound);
  if (path.find(L'\0') != std::wstring::npos) return Refused(platform::kErrorInvalidName);
  // "\\?\C:\x" and "\\.\C:\x" are C:\x; "\\.\NUL" is the null device; other devices and
  // namespaces are not the program's files.
  const bool longForm = path.compare(0, 4, L"\\\\?\\") == 0;
  if (longForm || path.compare(0, 4, L"\\\\.\\") == 0) {
    path.erase(0, 4);
    const bool drivePath = StartsWithDrive(path) && (path.size() == 2 || path[2] == L'\\');
    if (!drivePath && DeviceName(path) != L"NUL") return Refused(platform::kErrorPathNotFound);
  } else if (path.compare(0, 2, L"\\\\") == 0) {
    return Refused(platform::kErrorBadNetPath);  // \\server\share
  }

  std::lock_guard<std::recursive_mutex> hold(MachineLock());
  Machine& machine = CurrentMachine();
  EnsureSandboxReady();
  Start start = StartOf(path, machine.currentDirectory);
  std::vector<std::wstring>& names = start.names;
  uint32_t error = 0;
  if (!AppendNames(start.rest, &names, &error)) return Refused(error);
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::wstring device = DeviceName(names[i]);
    if (device.empty()) continue;
    if (i + 1 < names.size()) return Refused(platform::kErrorPathNotFound);
    if (device != L"NUL") return Refused(platform::kErrorFileNotFound);
    MappedPath null;
    null.nullDevice = true;
    null.error = platform::kErrorInvalidName;  // for every call but opening it
    return null;
  }
  const std::size_t length = FullPathLength(names);
  if (!longForm && length >= kMaxPath) return Refused(platform::kErrorPathNotFound);
  if (redirect && machine.is64Bit) Redirect(names);
  std::error_code failed;
  const std::string root = fs::weakly_canonical(SandboxRoot(), failed).string();
  if (failed || root.empty()) return Refused(platform::kErrorPathNotFound);
  SandboxWalk walk(root);
  if (!walk.Step(std::string(1, static_cast<char>(start.drive)), true))
    return Refused(platform::kErrorPathNotFound);
  for (std::size_t i = 0; i < names.size(); ++i) {
    const bool last = i + 1 == names.size();
    if (!walk.Step(WideToUtf8(names[i]), !last || use == LinkUse::kFollow))
      return Refused(platform::kErrorPathNotFound);
  }
  MappedPath mapped;
  // The machine's folder as it was given, so host paths compare with SandboxRoot().
  mapped.host = SandboxRoot() + walk.real().substr(root.size());
  mapped.length = length;
  mapped.longForm = longForm;
  return mapped;
}

std::string MapPath(const std::wstring& windowsPath, bool redirect) {
  return MapWindowsPath(windowsPath, redirect, LinkUse::kFollow).host;
}

std::string HostPath(const std::wstring& windowsPath) {
  return MapPath(windowsPath, !FsRedirectionOff());
}

}  // namespace sim
}  // namespace orvex
