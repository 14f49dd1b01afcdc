#include "probes/directory_files.h"

#include "platform/directory_entries.h"
#include "platform/files.h"
#include "platform/win_codes.h"

namespace orvex {

namespace {

// The routine works in a MAX_PATH buffer: longer directories are not touched.
constexpr std::size_t kMaxDirectoryChars = 257;

enum class FileOperation { kCopy, kDelete };

void ForEachFileOf(const std::wstring& source, const std::wstring& destination,
                   FileOperation operation) {
  if (source.size() > kMaxDirectoryChars) return;
  platform::DirectoryEntries entries(source);
  platform::DirectoryEntry entry;
  while (entries.Next(&entry)) {
    if (entry.IsDirectory()) continue;
    const std::wstring file = source + L"\\" + entry.name;
    // File by file, as the routine has always worked: one that fails (a copy whose target is
    // there already, which is never overwritten; a file in use) is left as it is, and the
    // others still go.
    if (operation == FileOperation::kCopy)
      (void)platform::CopyFileTo(file, destination + L"\\" + entry.name, true);
    else
      (void)platform::DeleteFileAt(file);
  }
}

}  // namespace

int CreateDirectoryIfMissing(const std::wstring& path) {
  uint32_t error = 0;
  if (platform::MakeDirectory(path, &error)) return 0;
  return error == platform::kErrorAlreadyExists ? 0 : -1;
}

void CopyDirectoryFiles(const std::wstring& source, const std::wstring& destination) {
  ForEachFileOf(source, destination, FileOperation::kCopy);
}

void DeleteDirectoryFiles(const std::wstring& directory) {
  ForEachFileOf(directory, std::wstring(), FileOperation::kDelete);
}

}  // namespace orvex
