#pragma once
// The one way the installer walks a directory: its entries by name, one at a time, without the
// "." and ".." that Windows lists in every folder but a drive root. An entry that is a symbolic
// link or junction is reported as a link and never followed, so a caller that removes or copies
// what it lists decides for itself what a link means. Built on StartFileSearch (FindFirstFileW
// and FindNextFileW; the simulated machine's search on the host).

#include <cstdint>
#include <memory>
#include <string>

#include "platform/files.h"

namespace orvex {
namespace platform {

struct DirectoryEntry {
  std::wstring name;  // the entry's own name, without the directory
  uint32_t attributes = 0;

  // FILE_ATTRIBUTE_REPARSE_POINT: a symbolic link or junction, whatever it points to.
  bool IsLink() const;
  // FILE_ATTRIBUTE_DIRECTORY, which a junction or a directory link carries as well.
  bool IsDirectory() const;
};

class DirectoryEntries {
 public:
  // Starts listing directory ("directory\\*"). A directory that cannot be listed yields no
  // entry and is not Complete.
  explicit DirectoryEntries(const std::wstring& directory);
  DirectoryEntries(const DirectoryEntries&) = delete;
  DirectoryEntries& operator=(const DirectoryEntries&) = delete;

  // The next entry, or false when none is left or the listing failed; the search is closed
  // (FindClose) then, so that a caller may remove the directory next.
  [[nodiscard]] bool Next(DirectoryEntry* entry);

  // True once Next has answered false because every entry was read (ERROR_NO_MORE_FILES);
  // false while entries remain, when the directory could not be opened, or a read failed.
  bool Complete() const { return complete_; }

 private:
  std::unique_ptr<IFileSearch> search_;
  FindData pending_;  // the entry FindFirstFileW answered with, not yet handed out
  bool hasPending_ = false;
  bool complete_ = false;
};

}  // namespace platform
}  // namespace orvex
