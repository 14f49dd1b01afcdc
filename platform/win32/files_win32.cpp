#include "platform/files.h"

#include <windows.h>
#include <shlwapi.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/win32/scoped_handle.h"

namespace orvex {
namespace platform {
namespace {

FindData FromFindData(const WIN32_FIND_DATAW& data) {
  FindData entry;
  entry.name = data.cFileName;
  entry.attributes = data.dwFileAttributes;
  return entry;
}

class FileSearch : public IFileSearch {
 public:
  explicit FileSearch(HANDLE handle) : handle_(handle) {}

  bool Next(FindData* entry, uint32_t* error) override {
    WIN32_FIND_DATAW data;
    if (!FindNextFileW(handle_.Get(), &data)) {
      if (error) *error = GetLastError();
      return false;
    }
    if (entry) *entry = FromFindData(data);
    return true;
  }

 private:
  ScopedFindHandle handle_;
};

// Present only on Windows that can run 64-bit programs; 32-bit Windows has no redirection.
using Wow64DisableFunction = BOOL(WINAPI*)(PVOID*);
using Wow64RevertFunction = BOOL(WINAPI*)(PVOID);

FARPROC Kernel32Function(const char* name) {
  HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
  return kernel32 ? GetProcAddress(kernel32, name) : nullptr;
}

// _wfopen, its failure as a Windows error. The C runtime keeps the system's code in _doserrno
// when CreateFileW refused the file; it fails without asking Windows only when its own table of
// descriptors is full.
ScopedFile OpenFile(const std::wstring& path, const wchar_t* mode, uint32_t* error) {
  errno = 0;
  _doserrno = 0;
  ScopedFile file(_wfopen(path.c_str(), mode));
  if (!file && error) {
    *error = _doserrno != 0 ? static_cast<uint32_t>(_doserrno) : ERROR_TOO_MANY_OPEN_FILES;
  }
  return file;
}

}  // namespace

ScopedFile OpenForWriting(const std::wstring& path, uint32_t* error) {
  return OpenFile(path, L"wb", error);
}

ScopedFile OpenForReading(const std::wstring& path, uint32_t* error) {
  return OpenFile(path, L"rb", error);
}

bool FreeDiskSpace(const std::wstring& directory, DiskSpace* space, uint32_t* error) {
  ULARGE_INTEGER freeToCaller;
  ULARGE_INTEGER total;
  ULARGE_INTEGER totalFree;
  if (!GetDiskFreeSpaceExW(directory.c_str(), &freeToCaller, &total, &totalFree)) {
    if (error) *error = GetLastError();
    return false;
  }
  if (space) {
    space->freeToCaller = freeToCaller.QuadPart;
    space->totalBytes = total.QuadPart;
    space->totalFree = totalFree.QuadPart;
  }
  return true;
}

bool MakeDirectory(const std::wstring& path, uint32_t* error) {
  if (CreateDirectoryW(path.c_str(), nullptr)) return true;
  if (error) *error = GetLastError();
  return false;
}

bool RemoveEmptyDirectory(const std::wstring& path) { return RemoveDirectoryW(path.c_str()) != 0; }

bool DeleteFileAt(const std::wstring& path) { return DeleteFileW(path.c_str()) != 0; }

bool RemoveLinkItself(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return false;
  ScopedFileHandle link(CreateFileW(
      path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!link.IsValid()) return false;
  // The handle must stand for the link, not for what it points to: Wine opens the target of
  // a host's symbolic link even with FILE_FLAG_OPEN_REPARSE_POINT, and would delete it.
  FILE_ATTRIBUTE_TAG_INFO tag = {};
  if (!GetFileInformationByHandleEx(link.Get(), FileAttributeTagInfo, &tag, sizeof tag) ||
      !(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return false;
  FILE_DISPOSITION_INFO disposition = {};
  disposition.DeleteFile = TRUE;
  const BOOL marked =
      SetFileInformationByHandle(link.Get(), FileDispositionInfo, &disposition, sizeof disposition);
  // The link goes when its last handle closes; only then can its absence be checked.
  link.Close();
  return marked && GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

bool CopyFileTo(const std::wstring& source, const std::wstring& target, bool failIfExists) {
  return CopyFileW(source.c_str(), target.c_str(), failIfExists ? TRUE : FALSE) != 0;
}

uint32_t FileAttributes(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }

bool ChangeFileAttributes(const std::wstring& path, uint32_t attributes) {
  return SetFileAttributesW(path.c_str(), attributes) != 0;
}

bool PathExists(const std::wstring& path) { return PathFileExistsW(path.c_str()) != 0; }

std::wstring TempPath() {
  wchar_t buffer[261];
  DWORD length = GetTempPathW(261, buffer);
  // A result beyond the buffer is the size Windows would have needed: nothing was written.
  if (length == 0 || length >= 261) return std::wstring();
  return std::wstring(buffer, length);
}

std::wstring SystemDirectory() {
  wchar_t buffer[MAX_PATH];
  const UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::wstring();
  return std::wstring(buffer, length);
}

std::unique_ptr<IFileSearch> StartFileSearch(const std::wstring& pattern, FindData* first) {
  WIN32_FIND_DATAW data;
  HANDLE handle = FindFirstFileW(pattern.c_str(), &data);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  if (first) *first = FromFindData(data);
  return std::unique_ptr<IFileSearch>(new FileSearch(handle));
}

ScopedFsRedirectionOff::ScopedFsRedirectionOff() {
  auto disable = reinterpret_cast<Wow64DisableFunction>(
      reinterpret_cast<void*>(Kernel32Function("Wow64DisableWow64FsRedirection")));
  if (disable && disable(&oldValue_)) disabled_ = true;
}

ScopedFsRedirectionOff::~ScopedFsRedirectionOff() {
  if (!disabled_) return;
  auto revert = reinterpret_cast<Wow64RevertFunction>(
      reinterpret_cast<void*>(Kernel32Function("Wow64RevertWow64FsRedirection")));
  if (revert) revert(oldValue_);
}

}  // namespace platform
}  // namespace orvex
