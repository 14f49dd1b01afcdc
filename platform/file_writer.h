#pragma once
// A file written at explicit offsets, for transfers that fill several parts of one file at the
// same time, and the rename that puts such a file in its final place. Paths are Windows paths
// (UTF-16); the simulated machine maps drive paths into its sandbox folder as for every other
// file call. Failures report the error number (errno value) the C runtime gives for the same
// failure, so callers report every file error in one numbering (ENOSPC for a full disk).

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
  bool Create(const std::wstring& path, int* error);

  // SetFilePointerEx(size) + SetEndOfFile: gives the file its full size up front, so that a
  // full disk shows now rather than halfway through, and the file system can keep it in one
  // piece. The bytes not yet written read as zeros.
  bool Reserve(uint64_t size, int* error);

  // WriteFile with the offset in an OVERLAPPED structure (a positioned write on a synchronous
  // handle): writes all bytes at offset, or fails with *error. Does not move a file pointer,
  // so writes to different parts need no ordering.
  bool WriteAt(uint64_t offset, const void* data, std::size_t bytes, int* error);

  // CloseHandle. False when the system reported an error while closing (data it had not yet
  // written could not be written), with *error. Closing a closed file succeeds.
  bool Close(int* error);

  bool IsOpen() const;

 private:
  // The system's handle: a HANDLE on Windows, a file descriptor (as intptr_t) on the host.
  intptr_t handle_ = -1;
};

// MoveFileExW(source, target, MOVEFILE_REPLACE_EXISTING): renames source to target, replacing
// a file that is there. Both must be on the same volume (no copy fallback). Fails when target
// is open without delete sharing on Windows. False with *error on failure.
bool ReplaceWithFile(const std::wstring& source, const std::wstring& target, int* error);

}  // namespace platform
}  // namespace orvex
