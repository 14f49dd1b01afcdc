#pragma once
// Files opened as Windows handles, for callers that read and write through a handle and set
// its information (the cabinet callbacks). Each call mirrors one Windows function and fails as
// it does. A handle is an intptr_t; kInvalidFileHandle is INVALID_HANDLE_VALUE.

#include <cstdint>
#include <string>

namespace orvex {
namespace platform {

constexpr intptr_t kInvalidFileHandle = -1;

// CreateFileW access rights, share modes and creation dispositions used here.
constexpr uint32_t kGenericRead = 0x80000000u;
constexpr uint32_t kGenericWrite = 0x40000000u;
constexpr uint32_t kFileShareRead = 0x1;
constexpr uint32_t kFileShareWrite = 0x2;
constexpr uint32_t kCreateAlways = 2;
constexpr uint32_t kOpenExisting = 3;

// SetFilePointer methods and its failure value.
constexpr int kFileBegin = 0;
constexpr int kFileCurrent = 1;
constexpr int kFileEnd = 2;
constexpr uint32_t kInvalidSetFilePointer = 0xFFFFFFFFu;

// CreateFileW(path, access, share, NULL, disposition, FILE_ATTRIBUTE_NORMAL, NULL): the
// handle, or kInvalidFileHandle.
[[nodiscard]] intptr_t CreateFileHandle(const std::wstring& path, uint32_t access,
                                        uint32_t shareMode, uint32_t disposition);

// ReadFile / WriteFile: false on failure; *done receives the byte count.
[[nodiscard]] bool ReadFromHandle(intptr_t handle, void* buffer, uint32_t count, uint32_t* done);
[[nodiscard]] bool WriteToHandle(intptr_t handle, const void* buffer, uint32_t count,
                                 uint32_t* done);

// CloseHandle.
[[nodiscard]] bool CloseFileHandle(intptr_t handle);

// SetFilePointer(handle, distance, NULL, method): the new position, or kInvalidSetFilePointer.
[[nodiscard]] uint32_t SetHandlePosition(intptr_t handle, int32_t distance, int method);

// DosDateTimeToFileTime: the FILETIME (100 ns since 1601) of a DOS date and time.
[[nodiscard]] bool DosDateTimeToFileTime(uint16_t date, uint16_t time, uint64_t* fileTime);

// LocalFileTimeToFileTime: local time to UTC.
[[nodiscard]] bool LocalFileTimeToFileTime(uint64_t localTime, uint64_t* utcTime);

// SetFileInformationByHandle(handle, FileBasicInfo, ...). Times are FILETIME values as
// LARGE_INTEGERs: 0 leaves a time unchanged, -1 keeps it from changing for the rest of this
// handle's life. Attributes 0 leave the attributes unchanged.
struct HandleBasicInfo {
  int64_t creationTime = 0;
  int64_t lastAccessTime = 0;
  int64_t lastWriteTime = 0;
  int64_t changeTime = 0;
  uint32_t attributes = 0;
};
[[nodiscard]] bool SetFileBasicInfo(intptr_t handle, const HandleBasicInfo& info);

}  // namespace platform
}  // namespace orvex
