// Names of the sandbox's folders without regard to case. The host finds "system32" only when
// it is written so; the machine finds it as Windows does. A folder is listed once into an
// index of its folded names, kept while its change time says nobody else changed it, and
// updated by the machine's own creations: unpacking n new files into a folder costs about n
// look-ups, not n listings of a growing folder.
#include <dirent.h>
#include <sys/stat.h>

#include <map>
#include <mutex>
#include <string>
#include <unordered_map>

#include "base/text.h"
#include "platform/sim/machine_internal.h"

namespace orvex {
namespace sim {
namespace {

struct FolderIndex {
  ino_t inode = 0;
  struct timespec changed = {0, 0};
  std::unordered_map<std::wstring, std::string> names;  // folded name -> name on the host
};

std::mutex& IndexLock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}

std::map<std::string, FolderIndex>& Indexes() {
  static auto* indexes = new std::map<std::string, FolderIndex>;
  return *indexes;
}

bool SameTime(const struct timespec& a, const struct timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

std::wstring Folded(const std::string& name) { return FoldCase(Utf8ToWide(name)); }

// The index of folder as it is now: the one kept when the folder did not change since, else a
// fresh listing. Null when folder is no folder. Call with the index lock held.
FolderIndex* CurrentIndex(const std::string& folder) {
  struct stat info;
  if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    Indexes().erase(folder);
    return nullptr;
  }
  FolderIndex& index = Indexes()[folder];
  if (index.inode == info.st_ino && SameTime(index.changed, info.st_mtim)) return &index;
  index = FolderIndex();
  index.inode = info.st_ino;
  index.changed = info.st_mtim;
  if (DIR* listing = opendir(folder.c_str())) {
    while (dirent* entry = readdir(listing)) {
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      index.names.emplace(Folded(name), name);  // the first of names equal but for case
    }
    closedir(listing);
  }
  return &index;
}

std::string FolderOf(const std::string& host, std::string* name) {
  const std::size_t slash = host.rfind('/');
  if (slash == std::string::npos) return std::string();
  *name = host.substr(slash + 1);
  return host.substr(0, slash);
}

}  // namespace

std::string FindNameNoCase(const std::string& folder, const std::string& name) {
  std::lock_guard<std::mutex> hold(IndexLock());
  FolderIndex* index = CurrentIndex(folder);
  if (!index) return std::string();
  auto found = index->names.find(Folded(name));
  return found == index->names.end() ? std::string() : found->second;
}

void NoteNameAdded(const std::string& host) {
  std::string name;
  const std::string folder = FolderOf(host, &name);
  std::lock_guard<std::mutex> hold(IndexLock());
  auto kept = Indexes().find(folder);
  if (kept == Indexes().end()) return;
  struct stat info;
  if (stat(folder.c_str(), &info) != 0 || info.st_ino != kept->second.inode) {
    Indexes().erase(kept);
    return;
  }
  // The index was current when the name was looked up just before it was made.
  kept->second.names.emplace(Folded(name), name);
  kept->second.changed = info.st_mtim;
}

void NoteNameRemoved(const std::string& host) {
  std::string name;
  const std::string folder = FolderOf(host, &name);
  std::lock_guard<std::mutex> hold(IndexLock());
  Indexes().erase(folder);
}

}  // namespace sim
}  // namespace orvex
