#include "platform/directory_entries.h"

#include "platform/win_codes.h"

namespace orvex {
namespace platform {

bool DirectoryEntry::IsLink() const { return (attributes & kFileAttributeReparsePoint) != 0; }

bool DirectoryEntry::IsDirectory() const { return (attributes & kFileAttributeDirectory) != 0; }

DirectoryEntries::DirectoryEntries(const std::wstring& directory) {
  search_ = StartFileSearch(directory + L"\\*", &pending_);
  hasPending_ = search_ != nullptr;
}

bool DirectoryEntries::Next(DirectoryEntry* entry) {
  FindData found;
  for (;;) {
    if (hasPending_) {
      found = pending_;
      hasPending_ = false;
    } else {
      if (!search_) return false;
      uint32_t error = 0;
      if (!search_->Next(&found, &error)) {
        complete_ = error == kErrorNoMoreFiles;
        search_.reset();
        return false;
      }
    }
    // A drive root lists neither, so they are passed over by name and not by position.
    if (found.name == L"." || found.name == L"..") continue;
    entry->name = found.name;
    entry->attributes = found.attributes;
    return true;
  }
}

}  // namespace platform
}  // namespace orvex
