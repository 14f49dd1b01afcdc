#pragma once
// Directories on Windows paths: creating one level, and flat copy or delete of the files in a
// directory (subdirectories are left alone).

#include <string>

namespace orvex {

// 0 when the directory was made or already exists; -1 otherwise (a missing parent included).
int CreateDirectoryIfMissing(const std::wstring& path);

// Copies every file of source into destination; files that exist there keep their content.
// Failures on single files are skipped.
void CopyDirectoryFiles(const std::wstring& source, const std::wstring& destination);

// Deletes every file of directory; failures on single files are skipped.
void DeleteDirectoryFiles(const std::wstring& directory);

}  // namespace orvex
