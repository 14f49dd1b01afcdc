// File handles through kernel32.
#include "platform/file_handles.h"

#include <windows.h>

namespace orvex {
namespace platform {
namespace {

HANDLE H(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

intptr_t CreateFileHandle(const std::wstring& path, uint32_t access, uint32_t shareMode,
                          uint32_t disposition) {
  HANDLE file = CreateFileW(path.c_str(), access, shareMode, nullptr, disposition,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  return reinterpret_cast<intptr_t>(file);
}

bool ReadFromHandle(intptr_t handle, void* buffer, uint32_t count, uint32_t* done) {
  DWORD read = 0;
  const BOOL ok = ReadFile(H(handle), buffer, count, &read, nullptr);
  if (done) *done = read;
  return ok != FALSE;
}

bool WriteToHandle(intptr_t handle, const void* buffer, uint32_t count, uint32_t* done) {
  DWORD written = 0;
  const BOOL ok = WriteFile(H(handle), buffer, count, &written, nullptr);
  if (done) *done = written;
  return ok != FALSE;
}

bool CloseFileHandle(intptr_t handle) { return CloseHandle(H(handle)) != FALSE; }

uint32_t SetHandlePosition(intptr_t handle, int32_t distance, int method) {
  return SetFilePointer(H(handle), distance, nullptr, static_cast<DWORD>(method));
}

bool DosDateTimeToFileTime(uint16_t date, uint16_t time, uint64_t* fileTime) {
  FILETIME converted;
  if (!::DosDateTimeToFileTime(date, time, &converted)) return false;
  if (fileTime)
    *fileTime = (static_cast<uint64_t>(converted.dwHighDateTime) << 32) | converted.dwLowDateTime;
  return true;
}

bool LocalFileTimeToFileTime(uint64_t localTime, uint64_t* utcTime) {
  FILETIME local;
  local.dwLowDateTime = static_cast<DWORD>(localTime);
  local.dwHighDateTime = static_cast<DWORD>(localTime >> 32);
  FILETIME utc;
  if (!::LocalFileTimeToFileTime(&local, &utc)) return false;
  if (utcTime) *utcTime = (static_cast<uint64_t>(utc.dwHighDateTime) << 32) | utc.dwLowDateTime;
  return true;
}

bool SetFileBasicInfo(intptr_t handle, const HandleBasicInfo& info) {
  FILE_BASIC_INFO basic = {};
  basic.CreationTime.QuadPart = info.creationTime;
  basic.LastAccessTime.QuadPart = info.lastAccessTime;
  basic.LastWriteTime.QuadPart = info.lastWriteTime;
  basic.ChangeTime.QuadPart = info.changeTime;
  basic.FileAttributes = info.attributes;
  return SetFileInformationByHandle(H(handle), ::FileBasicInfo, &basic, sizeof basic) != FALSE;
}

}  // namespace platform
}  // namespace orvex
