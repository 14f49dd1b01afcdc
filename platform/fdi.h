#pragma once
// The cabinet decompression interface (FDI) of Cabinet.dll, called by ordinal: 20 FDICreate,
// 22 FDICopy, 23 FDIDestroy. The types keep FDI's layout and calling convention (cdecl), so the
// Windows build hands the callbacks to Cabinet.dll as they are. The simulated machine offers
// the same three calls over libmspack and calls the very same callbacks: FDI opens, reads and
// seeks the cabinet through the open, read and seek callbacks and writes each file through the
// handle that the copy-file notification returns.

#include <cstdint>

namespace orvex {
namespace platform {

// ERF: erfOper holds the FDI error code after a failure.
struct FdiErrorRecord {
  int erfOper = 0;
  int erfType = 0;
  int fError = 0;
};

// FDI error codes (FDIERROR).
enum FdiErrorCode {
  kFdiNone = 0,
  kFdiCabinetNotFound = 1,
  kFdiNotACabinet = 2,
  kFdiUnknownCabinetVersion = 3,
  kFdiCorruptCabinet = 4,
  kFdiAllocFail = 5,
  kFdiBadCompressionType = 6,
  kFdiMdiFail = 7,
  kFdiTargetFile = 8,
  kFdiReserveMismatch = 9,
  kFdiWrongCabinet = 10,
  kFdiUserAbort = 11,
};

// Notification types (FDINOTIFICATIONTYPE).
enum FdiNotificationType {
  kFdintCabinetInfo = 0,
  kFdintPartialFile = 1,
  kFdintCopyFile = 2,
  kFdintCloseFileInfo = 3,
  kFdintNextCabinet = 4,
  kFdintEnumerate = 5,
};

// FDINOTIFICATION. For copy file: psz1 the entry's name, cb its size, date/time/attribs its DOS
// date, time and attributes, pv the user value. For close file information: hf the handle the
// copy-file answer gave, psz1 the name, date/time/attribs as above. For next cabinet: fdie.
struct FdiNotification {
  int32_t cb = 0;
  char* psz1 = nullptr;
  char* psz2 = nullptr;
  char* psz3 = nullptr;
  void* pv = nullptr;
  intptr_t hf = 0;
  uint16_t date = 0;
  uint16_t time = 0;
  uint16_t attribs = 0;
  uint16_t setID = 0;
  uint16_t iCabinet = 0;
  uint16_t iFolder = 0;
  int fdie = 0;
};

// Open flags FDI passes to the open callback (the C runtime's _O_* values).
constexpr int kFdiOpenReadOnly = 0x0000;
constexpr int kFdiOpenWriteOnly = 0x0001;
constexpr int kFdiOpenReadWrite = 0x0002;
constexpr int kFdiOpenCreate = 0x0100;
constexpr int kFdiOpenBinary = 0x8000;

// Processor type "detect it" for FDICreate.
constexpr int kFdiCpuUnknown = -1;

// Entry attribute bit: the name is UTF-8 rather than the OEM code page.
constexpr uint16_t kFdiNameIsUtf = 0x80;

using FdiAlloc = void* (*)(uint32_t size);
using FdiFree = void (*)(void* memory);
using FdiOpen = intptr_t (*)(char* name, int flags, int mode);
using FdiRead = uint32_t (*)(intptr_t handle, void* buffer, uint32_t count);
using FdiWrite = uint32_t (*)(intptr_t handle, void* buffer, uint32_t count);
using FdiClose = int (*)(intptr_t handle);
using FdiSeek = int32_t (*)(intptr_t handle, int32_t distance, int method);
using FdiNotify = intptr_t (*)(int type, FdiNotification* notification);

// FDICreate: the context, or null with the error record filled (kFdiAllocFail when
// Cabinet.dll cannot be loaded from the system directory).
[[nodiscard]] void* FdiCreate(FdiAlloc alloc, FdiFree release, FdiOpen open, FdiRead read,
                              FdiWrite write, FdiClose close, FdiSeek seek, int cpuType,
                              FdiErrorRecord* error);

// FDICopy(context, cabinet file name, cabinet directory with its trailing backslash, flags,
// notify, no decryption, user value): true when every file was extracted; otherwise false with
// the code in the error record given to FdiCreate.
[[nodiscard]] bool FdiCopy(void* context, char* cabinetName, char* cabinetPath, int flags,
                           FdiNotify notify, void* userValue);

// FDIDestroy.
[[nodiscard]] bool FdiDestroy(void* context);

}  // namespace platform
}  // namespace orvex
