#include "platform/file_writer.h"

#include <windows.h>

namespace orvex {
namespace platform {
namespace {

bool ReportLastError(uint32_t* error) {
  if (error) *error = GetLastError();
  return false;
}

bool Report(uint32_t* error, DWORD value) {
  if (error) *error = value;
  return false;
}

HANDLE AsHandle(intptr_t value) { return reinterpret_cast<HANDLE>(value); }

// WriteFile takes at most a DWORD per call.
const std::size_t kLargestWrite = 1u << 30;

}  // namespace

PositionedFile::~PositionedFile() { (void)Close(nullptr); }

bool PositionedFile::Open(const std::wstring& path, uint32_t disposition, uint32_t* error) {
  (void)Close(nullptr);
  // Readers may look at the file while it grows; nobody may write it or rename it under us.
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, disposition,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return ReportLastError(error);
  handle_ = reinterpret_cast<intptr_t>(file);
  return true;
}

bool PositionedFile::Create(const std::wstring& path, uint32_t* error) {
  return Open(path, CREATE_ALWAYS, error);
}

bool PositionedFile::CreateNew(const std::wstring& path, uint32_t* error) {
  return Open(path, CREATE_NEW, error);
}

bool PositionedFile::OpenExisting(const std::wstring& path, uint32_t* error) {
  return Open(path, OPEN_EXISTING, error);
}

bool PositionedFile::Reserve(uint64_t size, uint32_t* error) {
  if (!IsOpen()) return Report(error, ERROR_INVALID_HANDLE);
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(size);
  if (!SetFilePointerEx(AsHandle(handle_), end, nullptr, FILE_BEGIN)) return ReportLastError(error);
  if (!SetEndOfFile(AsHandle(handle_))) return ReportLastError(error);
  return true;
}

bool PositionedFile::Size(uint64_t* size, uint32_t* error) const {
  if (!IsOpen()) return Report(error, ERROR_INVALID_HANDLE);
  LARGE_INTEGER length;
  if (!GetFileSizeEx(AsHandle(handle_), &length)) return ReportLastError(error);
  *size = static_cast<uint64_t>(length.QuadPart);
  return true;
}

bool PositionedFile::LinkCount(uint32_t* links, uint32_t* error) const {
  if (!IsOpen()) return Report(error, ERROR_INVALID_HANDLE);
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(AsHandle(handle_), &information)) return ReportLastError(error);
  *links = information.nNumberOfLinks;
  return true;
}

bool PositionedFile::WriteAt(uint64_t offset, const void* data, std::size_t bytes,
                             uint32_t* error) {
  const char* next = static_cast<const char*>(data);
  while (bytes > 0) {
    OVERLAPPED at = {};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    const DWORD wanted = static_cast<DWORD>(bytes < kLargestWrite ? bytes : kLargestWrite);
    DWORD done = 0;
    if (!WriteFile(AsHandle(handle_), next, wanted, &done, &at)) return ReportLastError(error);
    if (done == 0) return Report(error, ERROR_WRITE_FAULT);
    next += done;
    offset += done;
    bytes -= done;
  }
  return true;
}

bool PositionedFile::Flush(uint32_t* error) {
  if (!IsOpen()) return Report(error, ERROR_INVALID_HANDLE);
  if (!FlushFileBuffers(AsHandle(handle_))) return ReportLastError(error);
  return true;
}

bool PositionedFile::Close(uint32_t* error) {
  if (!IsOpen()) return true;
  HANDLE file = AsHandle(handle_);
  handle_ = -1;
  if (!CloseHandle(file)) return ReportLastError(error);
  return true;
}

bool PositionedFile::IsOpen() const { return handle_ != -1; }

bool ReplaceWithFile(const std::wstring& source, const std::wstring& target, uint32_t* error) {
  if (!MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING))
    return ReportLastError(error);
  return true;
}

}  // namespace platform
}  // namespace orvex
