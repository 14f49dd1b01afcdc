#include "actions/download_cache.h"

#include <mutex>
#include <set>

#include "actions/download_journal.h"
#include "base/text.h"
#include "platform/admin_folders.h"
#include "platform/directory_entries.h"
#include "platform/file_times.h"
#include "platform/files.h"
#include "platform/known_folders.h"
#include "platform/win_codes.h"

namespace orvex {

namespace {

// The process's view of the cache folders: those purged of old entries, the entries this run
// used.
struct CacheRegistry {
  std::mutex lock;
  std::set<std::wstring> purged;
  std::set<std::wstring> used;
};

CacheRegistry& Registry() {
  static CacheRegistry registry;
  return registry;
}

std::string Narrow(const std::wstring& path) { return WideToUtf8(path); }

bool IsFolder(uint32_t attributes) {
  return attributes != platform::kInvalidFileAttributes &&
         (attributes & platform::kFileAttributeDirectory) &&
         !(attributes & platform::kFileAttributeReparsePoint);
}

// Makes path when nothing is there (for administrators only when adminOnly, else with what
// the parent hands down); an existing folder stays as it is.
bool MakeWhenMissing(const std::wstring& path, bool adminOnly, std::string* why) {
  if (platform::FileAttributes(path) != platform::kInvalidFileAttributes) return true;
  uint32_t error = 0;
  if ((adminOnly ? platform::MakeAdminOnlyDirectory(path, &error)
                 : platform::MakeDirectory(path, &error)) ||
      error == platform::kErrorAlreadyExists)
    return true;
  *why = "the folder " + Narrow(path) + " could not be made (error " + std::to_string(error) + ")";
  return false;
}

// Every file of folder goes; folders inside are left (nothing of ours makes any).
void RemoveFiles(const std::wstring& folder, uint64_t olderThan) {
  platform::DirectoryEntries entries(folder);
  platform::DirectoryEntry entry;
  while (entries.Next(&entry)) {
    if (entry.IsDirectory() && !entry.IsLink()) continue;
    const std::wstring path = folder + L"\\" + entry.name;
    uint64_t written = 0;
    if (olderThan != 0 && platform::LastWriteTime(path, &written) && written >= olderThan) continue;
    RemoveCacheFile(path);
  }
}

// A folder others could change is theirs as much as ours: it is protected when an
// administrator owns it, and what it held goes (a planted file, a hard link to a user's file).
bool TrustFolder(const std::wstring& folder, std::string* why) {
  if (platform::OnlyAdministratorsCanWrite(folder)) return true;
  uint32_t error = 0;
  if (!platform::ProtectAdminOnlyDirectory(folder, &error) ||
      !platform::OnlyAdministratorsCanWrite(folder)) {
    *why = "the folder " + Narrow(folder) +
           " can be changed by others than the administrators and could not be protected (error " +
           std::to_string(error) + ")";
    return false;
  }
  RemoveFiles(folder, 0);
  return true;
}

bool Prepare(const std::wstring& folder, std::string* why) {
  if (folder == DefaultDownloadCacheFolder()) {
    // Quarn\Orvex is also the product's own data folder, which its users write to: it gets
    // what ProgramData hands down, as the product's installation would make it. Only the
    // cache inside is for administrators alone.
    const std::wstring programData = platform::ProgramDataFolder();
    if (!MakeWhenMissing(programData + L"\\Quarn", false, why) ||
        !MakeWhenMissing(programData + L"\\Quarn\\Orvex", false, why))
      return false;
  }
  if (!MakeWhenMissing(folder, true, why)) return false;
  if (!IsFolder(platform::FileAttributes(folder))) {
    *why = Narrow(folder) + " is not a folder";
    return false;
  }
  return TrustFolder(folder, why);
}

void RemoveStaleEntries(const std::wstring& folder) {
  const uint64_t now = platform::CurrentFileTime();
  const uint64_t maxAge = kCacheEntryMaxAgeSeconds * platform::kFileTimeTicksPerSecond;
  if (now > maxAge) RemoveFiles(folder, now - maxAge);
}

}  // namespace

std::wstring DefaultDownloadCacheFolder() {
  const std::wstring programData = platform::ProgramDataFolder();
  if (programData.empty()) return std::wstring();
  return programData + L"\\Quarn\\Orvex\\Downloads";
}

bool OpenDownloadCache(const std::wstring& folder, std::string* why) {
  if (folder.empty()) {
    *why = "Windows names no folder for the cache";
    return false;
  }
  // Checked at every use: the folder is trusted as it is now, not as it was.
  if (!Prepare(folder, why)) return false;
  CacheRegistry& registry = Registry();
  std::lock_guard<std::mutex> hold(registry.lock);
  if (registry.purged.insert(folder).second) RemoveStaleEntries(folder);
  return true;
}

std::wstring CacheEntryPath(const std::wstring& folder, const std::string& digest) {
  return folder + L"\\" + Utf8ToWide(digest);
}

void NoteCacheEntryUsed(const std::wstring& entry) {
  CacheRegistry& registry = Registry();
  std::lock_guard<std::mutex> hold(registry.lock);
  registry.used.insert(entry);
}

void RemoveCacheEntriesUsedThisRun() {
  CacheRegistry& registry = Registry();
  std::lock_guard<std::mutex> hold(registry.lock);
  for (const std::wstring& entry : registry.used) {
    RemoveCacheFile(entry);
    const std::wstring part = entry + L".part";
    RemoveCacheFile(JournalPathOf(part));
    RemoveCacheFile(part);
  }
  registry.used.clear();
}

void RemoveCacheFile(const std::wstring& path) {
  const uint32_t attributes = platform::FileAttributes(path);
  if (attributes == platform::kInvalidFileAttributes) return;
  if (attributes & platform::kFileAttributeReparsePoint) {
    // What cannot be removed is tried again by the next opening of the cache.
    (void)platform::RemoveLinkItself(path);
    return;
  }
  if (attributes & platform::kFileAttributeReadonly)
    (void)platform::ChangeFileAttributes(path, attributes & ~platform::kFileAttributeReadonly);
  (void)platform::DeleteFileAt(path);
}

}  // namespace orvex
