#include <windows.h>

#include <cerrno>

#include "platform/file_writer.h"

namespace orvex {
namespace platform {
namespace {

// The errno value the C runtime gives for a Windows error, for the failures a file write meets.
int ErrnoFor(DWORD windowsError) {
  switch (windowsError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_PATHNAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_CURRENT_DIRECTORY:
      return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return EEXIST;
    case ERROR_INVALID_HANDLE:
      return EBADF;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    case ERROR_NOT_SAME_DEVICE:
      return EXDEV;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    default:
      return EIO;
  }
}

bool ReportLastError(int* error) {
  if (error) *error = ErrnoFor(GetLastError());
  return false;
}

HANDLE AsHandle(intptr_t value) { return reinterpret_cast<HANDLE>(value); }

// WriteFile takes at most a DWORD per call.
const std::size_t kLargestWrite = 1u << 30;

}  // namespace

PositionedFile::~PositionedFile() { Close(nullptr); }

bool PositionedFile::Create(const std::wstring& path, int* error) {
  Close(nullptr);
  // Readers may look at the file while it grows; nobody may write it or rename it under us.
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ReportLastError(error);
  handle_ = reinterpret_cast<intptr_t>(file);
  return true;
}

bool PositionedFile::Reserve(uint64_t size, int* error) {
  if (!IsOpen()) {
    if (error) *error = EBADF;
    return false;
  }
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(size);
  if (!SetFilePointerEx(AsHandle(handle_), end, nullptr, FILE_BEGIN)) return ReportLastError(error);
  if (!SetEndOfFile(AsHandle(handle_))) return ReportLastError(error);
  return true;
}

bool PositionedFile::WriteAt(uint64_t offset, const void* data, std::size_t bytes, int* error) {
  const char* next = static_cast<const char*>(data);
  while (bytes > 0) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const DWORD wanted = static_cast<DWORD>(bytes < kLargestWrite ? bytes : kLargestWrite);
    DWORD done = 0;
    if (!WriteFile(AsHandle(handle_), next, wanted, &done, &at)) return ReportLastError(error);
    if (done == 0) {
      if (error) *error = EIO;
      return false;
    }
    next += done;
    offset += done;
    bytes -= done;
  }
  return true;
}

bool PositionedFile::Close(int* error) {
  if (!IsOpen()) return true;
  HANDLE file = AsHandle(handle_);
  handle_ = -1;
  if (!CloseHandle(file)) return ReportLastError(error);
  return true;
}

bool PositionedFile::IsOpen() const { return handle_ != -1; }

bool ReplaceWithFile(const std::wstring& source, const std::wstring& target, int* error) {
  if (!MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
    return ReportLastError(error);
  return true;
}

}  // namespace platform
}  // namespace orvex
