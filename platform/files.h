#pragma once
// The file system on Windows paths (UTF-16, drive letters, backslashes). Each call mirrors one
// Windows function and reports failure the same way; *error receives the GetLastError code
// where the caller needs it. The simulated machine maps drive paths into its sandbox folder.

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace orvex {
namespace platform {

// An open C file: the one owner of what OpenForWriting and OpenForReading hand out. It closes
// the file when it goes out of scope, whichever way the scope ends; CloseFile closes it now and
// says whether the buffered bytes reached the file.
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using ScopedFile = std::unique_ptr<std::FILE, FileCloser>;

// fclose: true when the file's buffered bytes were written and it closed.
[[nodiscard]] inline bool CloseFile(ScopedFile file) {
  return file && std::fclose(file.release()) == 0;
}

// Opens path for writing in binary mode, created or truncated ("wb"): the file, or null with
// the Windows error (ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION ...)
// in *error.
[[nodiscard]] ScopedFile OpenForWriting(const std::wstring& path, uint32_t* error);

// Opens an existing file for reading in binary mode ("rb"): the file, or null with the Windows
// error (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED for a folder,
// ERROR_SHARING_VIOLATION ...) in *error.
[[nodiscard]] ScopedFile OpenForReading(const std::wstring& path, uint32_t* error);

// CreateDirectoryW(path, NULL): true on success, else false with the Windows error
// (ERROR_ALREADY_EXISTS, ERROR_PATH_NOT_FOUND, ...) in *error. Only the last component is made.
[[nodiscard]] bool MakeDirectory(const std::wstring& path, uint32_t* error);

// RemoveDirectoryW: the directory must be empty.
[[nodiscard]] bool RemoveEmptyDirectory(const std::wstring& path);

// DeleteFileW.
[[nodiscard]] bool DeleteFileAt(const std::wstring& path);

// Removes a symbolic link or junction itself, never what it points to: CreateFileW with
// DELETE access and FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, then
// SetFileInformationByHandle(FileDispositionInfo). RemoveDirectoryW and DeleteFileW are not
// enough: Wine opens a host link's target for them and deletes the target. False when path
// is no link or the link stays.
[[nodiscard]] bool RemoveLinkItself(const std::wstring& path);

// CopyFileW(source, target, failIfExists).
[[nodiscard]] bool CopyFileTo(const std::wstring& source, const std::wstring& target,
                              bool failIfExists);

// GetFileAttributesW: kInvalidFileAttributes when the path does not exist.
[[nodiscard]] uint32_t FileAttributes(const std::wstring& path);

// SetFileAttributesW.
[[nodiscard]] bool ChangeFileAttributes(const std::wstring& path, uint32_t attributes);

// PathFileExistsW.
[[nodiscard]] bool PathExists(const std::wstring& path);

// What GetDiskFreeSpaceExW reports for a drive, in bytes.
struct DiskSpace {
  uint64_t freeToCaller = 0;  // free bytes the calling user may fill (quotas applied)
  uint64_t totalBytes = 0;
  uint64_t totalFree = 0;
};

// GetDiskFreeSpaceExW(directory): the space of the drive that holds the existing directory.
// False with the Windows error in *error when the directory cannot be found.
[[nodiscard]] bool FreeDiskSpace(const std::wstring& directory, DiskSpace* space, uint32_t* error);

// GetTempPathW into a buffer of 261 characters: the user's temporary directory with its
// trailing backslash, or "" when the call failed.
std::wstring TempPath();

// GetSystemDirectoryW: the system folder ("C:\\Windows\\system32") as Windows knows it, not as
// an environment variable of the process says; "" when the call failed. Windows' own programs
// are started from there by full path (a bare name makes the shell look in the current folder
// first). The simulated machine answers its profile's "systemDirectory", else the usual folder,
// and takes Windows' own programs there as present.
std::wstring SystemDirectory();

// Names differ from the Windows functions on purpose: <windows.h> defines those as macros.

// One directory entry as WIN32_FIND_DATAW describes it.
struct FindData {
  std::wstring name;
  uint32_t attributes = 0;
};

// An open search (FindFirstFileW handle). Destroying it calls FindClose.
class IFileSearch {
 public:
  virtual ~IFileSearch() = default;
  // FindNextFileW: false at the end (*error ERROR_NO_MORE_FILES) or on an error.
  [[nodiscard]] virtual bool Next(FindData* entry, uint32_t* error) = 0;
};

// FindFirstFileW(pattern): null (INVALID_HANDLE_VALUE) when nothing matches or the directory
// does not exist; otherwise the search with its first entry in *first. A pattern "dir\\*"
// lists "." and ".." first, as NTFS does.
[[nodiscard]] std::unique_ptr<IFileSearch> StartFileSearch(const std::wstring& pattern,
                                                           FindData* first);

// Wow64DisableWow64FsRedirection / Wow64RevertWow64FsRedirection around a block: while an
// object of this class lives, "%SystemRoot%\\system32" means the native system folder.
class ScopedFsRedirectionOff {
 public:
  ScopedFsRedirectionOff();
  ~ScopedFsRedirectionOff();
  ScopedFsRedirectionOff(const ScopedFsRedirectionOff&) = delete;
  ScopedFsRedirectionOff& operator=(const ScopedFsRedirectionOff&) = delete;

 private:
  [[maybe_unused]] void* oldValue_ = nullptr;  // used by the Windows build only
  bool disabled_ = false;
};

}  // namespace platform
}  // namespace orvex
