#include "actions/remove_dir.h"

#include "base/json_text.h"
#include "base/text.h"
#include "engine/progress.h"
#include "engine/value_path.h"
#include "platform/directory_entries.h"
#include "platform/files.h"
#include "platform/win_codes.h"

namespace orvex {

namespace {

// DeleteFileW refuses read-only files. A file whose attribute stays makes the deletion that
// follows fail, which reports it.
void ClearReadOnly(const std::wstring& path) {
  const uint32_t attributes = platform::FileAttributes(path);
  if (attributes != platform::kInvalidFileAttributes &&
      (attributes & platform::kFileAttributeReadonly))
    (void)platform::ChangeFileAttributes(path, attributes & ~platform::kFileAttributeReadonly);
}

bool IsLink(uint32_t attributes) {
  return attributes != platform::kInvalidFileAttributes &&
         (attributes & platform::kFileAttributeReparsePoint);
}

// A symbolic link or junction goes as the link; what it points to is not part of the tree.
bool RemoveLink(const std::wstring& path) { return platform::RemoveLinkItself(path); }

}  // namespace

int CRemoveDir::RemoveTree(const std::wstring& directory) {
  // A listing would show the link's target: a directory that is itself a link is removed as
  // one.
  const uint32_t own = platform::FileAttributes(directory);
  if (IsLink(own)) return RemoveLink(directory) ? 1 : 0;
  platform::DirectoryEntries entries(directory);
  platform::DirectoryEntry entry;
  while (entries.Next(&entry)) {
    const std::wstring full = directory + L"\\" + entry.name;
    if (entry.IsLink()) {
      if (!RemoveLink(full)) return 0;
      continue;
    }
    if (entry.IsDirectory()) {
      if (!RemoveTree(full)) return 0;
      continue;
    }
    if (entry.attributes & platform::kFileAttributeReadonly) ClearReadOnly(full);
    if (!platform::DeleteFileAt(full)) return 0;
  }
  // An unreadable listing leaves entries behind; the search is closed before the directory goes.
  if (!entries.Complete()) return 0;
  return platform::RemoveEmptyDirectory(directory) ? 1 : 0;
}

int CRemoveDir::Execute(Json::Value& doc) {
  // An empty directory would make the search below start at the root of the current drive.
  const std::string directory = ResolvePathArg(Member(args, "directory"), doc);
  if (directory.empty()) {
    RecordResult(doc, "fatal", "The directory string is null", "DIRECTORY_PATH_NULL");
    return -1;
  }
  const std::wstring path = Utf8ToWide(directory);
  if (progress) progress->SetDetail("Removing temp directory ");
  if (RemoveTree(path) == 1) return 0;
  RecordResult(doc, "failed", "Remove Directory Action Failed ", "");
  return -1;
}

}  // namespace orvex
