#pragma once
// Windows error codes, file attributes and other numbers that cross the platform seam. They
// keep their Windows values so that the simulated machine answers exactly as Windows does and
// the code above the seam can compare them without <windows.h>.

#include <cstdint>

namespace orvex {
namespace platform {

// GetLastError / Windows Installer results.
constexpr uint32_t kErrorSuccess = 0;
constexpr uint32_t kErrorFileNotFound = 2;
constexpr uint32_t kErrorPathNotFound = 3;
constexpr uint32_t kErrorTooManyOpenFiles = 4;
constexpr uint32_t kErrorAccessDenied = 5;
constexpr uint32_t kErrorInvalidHandle = 6;
constexpr uint32_t kErrorNotEnoughMemory = 8;
constexpr uint32_t kErrorNotSameDevice = 17;
constexpr uint32_t kErrorNoMoreFiles = 18;
constexpr uint32_t kErrorWriteFault = 29;
constexpr uint32_t kErrorReadFault = 30;
constexpr uint32_t kErrorGenFailure = 31;
constexpr uint32_t kErrorSharingViolation = 32;
constexpr uint32_t kErrorBadNetPath = 53;
constexpr uint32_t kErrorFileExists = 80;
constexpr uint32_t kErrorInvalidParameter = 87;
constexpr uint32_t kErrorDiskFull = 112;
constexpr uint32_t kErrorInsufficientBuffer = 122;
constexpr uint32_t kErrorInvalidName = 123;
constexpr uint32_t kErrorAlreadyExists = 183;
constexpr uint32_t kErrorFilenameExcedRange = 206;
constexpr uint32_t kErrorFileTooLarge = 223;
constexpr uint32_t kErrorMoreData = 234;
constexpr uint32_t kErrorNoMoreItems = 259;
constexpr uint32_t kErrorServiceAlreadyRunning = 1056;
constexpr uint32_t kErrorServiceDoesNotExist = 1060;
constexpr uint32_t kErrorServiceNotActive = 1062;
constexpr uint32_t kErrorServiceExists = 1073;
constexpr uint32_t kErrorBadConfiguration = 1610;
constexpr uint32_t kErrorUnknownProduct = 1605;
constexpr uint32_t kErrorUnknownProperty = 1608;
constexpr uint32_t kErrorInvalidOwner = 1307;

// For the implementations of a seam call that fails: the code goes to *error when the caller
// asked for it, and the answer is false (`return ReportError(kErrorAccessDenied, error);`).
inline bool ReportError(uint32_t code, uint32_t* error) {
  if (error) *error = code;
  return false;
}

// File attributes (GetFileAttributesW, WIN32_FIND_DATAW).
constexpr uint32_t kFileAttributeReadonly = 0x01;
constexpr uint32_t kFileAttributeHidden = 0x02;
constexpr uint32_t kFileAttributeDirectory = 0x10;
constexpr uint32_t kFileAttributeArchive = 0x20;
constexpr uint32_t kFileAttributeNormal = 0x80;
// A symbolic link or junction: the entry is the link, not what it points to.
constexpr uint32_t kFileAttributeReparsePoint = 0x400;
constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFF;

}  // namespace platform
}  // namespace orvex
