#pragma once
// A file written at explicit offsets, for transfers that fill several parts of one file at the
// same time, and the rename that puts such a file in its final place. Paths are Windows paths
// (UTF-16); the simulated machine maps drive paths into its sandbox folder as for every other
// file call. Failures report the Windows system error (ERROR_*, GetLastError's numbering; the
// simulated machine maps errno to the same codes), so ERROR_DISK_FULL means a full disk on
// both builds.

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvex {
namespace platform {

class PositionedFile {
 public:
  PositionedFile() = default;
  ~PositionedFile();  // closes the file; it stays on disk
  PositionedFile(const PositionedFile&) = delete;
  PositionedFile& operator=(const PositionedFile&) = delete;

  // CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS, ...): opens the file
  // for writing, created or truncated. Any file this object had open is closed first. False
  // with *error on failure.
  [[nodiscard]] bool Create(const std::wstring& path, uint32_t* error);

  // The same with CREATE_NEW: fails with ERROR_FILE_EXISTS when anything is at path, so a
  // file made this way is surely the caller's own.
  [[nodiscard]] bool CreateNew(const std::wstring& path, uint32_t* error);

  // The same with OPEN_EXISTING: the file keeps its bytes (resuming a transfer). Fails with
  // ERROR_FILE_NOT_FOUND when there is no file.
  [[nodiscard]] bool OpenExisting(const std::wstring& path, uint32_t* error);

  // SetFilePointerEx(size) + SetEndOfFile: gives the file exactly size bytes up front, so
  // that a full disk shows now rather than halfway through, and the file system can keep it
  // in one piece. A longer file is cut to size (nothing of an earlier, larger content stays
  // behind the end); the bytes not yet written read as zeros; bytes below size keep their
  // content.
  [[nodiscard]] bool Reserve(uint64_t size, uint32_t* error);

  // GetFileSizeEx: the file's length now.
  [[nodiscard]] bool Size(uint64_t* size, uint32_t* error) const;

  // GetFileInformationByHandle's nNumberOfLinks: the names the open file has. More than one
  // means a hard link: writing it in place would change the file under its other names too.
  [[nodiscard]] bool LinkCount(uint32_t* links, uint32_t* error) const;

  // WriteFile with the offset in an OVERLAPPED structure (a positioned write on a synchronous
  // handle): writes all bytes at offset, or fails with *error. Does not move a file pointer,
  // so writes to different parts need no ordering.
  [[nodiscard]] bool WriteAt(uint64_t offset, const void* data, std::size_t bytes, uint32_t* error);

  // FlushFileBuffers: what was written is on the disk when this returns true.
  [[nodiscard]] bool Flush(uint32_t* error);

  // CloseHandle. False when the system reported an error while closing (data it had not yet
  // written could not be written), with *error. Closing a closed file succeeds.
  [[nodiscard]] bool Close(uint32_t* error);

  bool IsOpen() const;

 private:
  // disposition: CREATE_ALWAYS, CREATE_NEW or OPEN_EXISTING.
  bool Open(const std::wstring& path, uint32_t disposition, uint32_t* error);

  // The system's handle: a HANDLE on Windows, a file descriptor (as intptr_t) on the host.
  intptr_t handle_ = -1;
};

// MoveFileExW(source, target, MOVEFILE_REPLACE_EXISTING): renames source to target, replacing
// a file that is there. Both must be on the same volume (no copy fallback). Fails when target
// is open without delete sharing on Windows. False with *error on failure.
[[nodiscard]] bool ReplaceWithFile(const std::wstring& source, const std::wstring& target,
                                   uint32_t* error);

}  // namespace platform
}  // namespace orvex
