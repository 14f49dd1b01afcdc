// FDI of Cabinet.dll, loaded once from the system directory (never by a bare name: the
// installer runs elevated from its download folder, where a planted Cabinet.dll would
// otherwise be found first) and called by ordinal.
#include "platform/fdi.h"

#include <windows.h>
#include <fcntl.h>
#include <fdi.h>

#include <cstddef>
#include <string>

namespace orvex {
namespace platform {
namespace {

static_assert(sizeof(FdiNotification) == sizeof(FDINOTIFICATION), "FDINOTIFICATION layout");
static_assert(offsetof(FdiNotification, hf) == offsetof(FDINOTIFICATION, hf), "hf");
static_assert(offsetof(FdiNotification, attribs) == offsetof(FDINOTIFICATION, attribs), "attribs");
static_assert(offsetof(FdiNotification, fdie) == offsetof(FDINOTIFICATION, fdie), "fdie");
static_assert(sizeof(FdiErrorRecord) == sizeof(ERF), "ERF layout");

// The FDI values platform/fdi.h copies, as the SDK has them (the seam's other copied
// Windows values are checked in sdk_values_check.cpp).
static_assert(+kFdiNone == +FDIERROR_NONE);
static_assert(+kFdiCabinetNotFound == +FDIERROR_CABINET_NOT_FOUND);
static_assert(+kFdiNotACabinet == +FDIERROR_NOT_A_CABINET);
static_assert(+kFdiUnknownCabinetVersion == +FDIERROR_UNKNOWN_CABINET_VERSION);
static_assert(+kFdiCorruptCabinet == +FDIERROR_CORRUPT_CABINET);
static_assert(+kFdiAllocFail == +FDIERROR_ALLOC_FAIL);
static_assert(+kFdiBadCompressionType == +FDIERROR_BAD_COMPR_TYPE);
static_assert(+kFdiMdiFail == +FDIERROR_MDI_FAIL);
static_assert(+kFdiTargetFile == +FDIERROR_TARGET_FILE);
static_assert(+kFdiReserveMismatch == +FDIERROR_RESERVE_MISMATCH);
static_assert(+kFdiWrongCabinet == +FDIERROR_WRONG_CABINET);
static_assert(+kFdiUserAbort == +FDIERROR_USER_ABORT);
static_assert(+kFdintCabinetInfo == +fdintCABINET_INFO);
static_assert(+kFdintPartialFile == +fdintPARTIAL_FILE);
static_assert(+kFdintCopyFile == +fdintCOPY_FILE);
static_assert(+kFdintCloseFileInfo == +fdintCLOSE_FILE_INFO);
static_assert(+kFdintNextCabinet == +fdintNEXT_CABINET);
static_assert(+kFdintEnumerate == +fdintENUMERATE);
static_assert(+kFdiOpenReadOnly == +_O_RDONLY);
static_assert(+kFdiOpenWriteOnly == +_O_WRONLY);
static_assert(+kFdiOpenReadWrite == +_O_RDWR);
static_assert(+kFdiOpenCreate == +_O_CREAT);
static_assert(+kFdiOpenBinary == +_O_BINARY);
static_assert(+kFdiCpuUnknown == +cpuUNKNOWN);
static_assert(+kFdiNameIsUtf == +_A_NAME_IS_UTF);

using CreateFunction = void*(__cdecl*)(FdiAlloc, FdiFree, FdiOpen, FdiRead, FdiWrite, FdiClose,
                                       FdiSeek, int, FdiErrorRecord*);
using CopyFunction = BOOL(__cdecl*)(void*, char*, char*, int, FdiNotify, void*, void*);
using DestroyFunction = BOOL(__cdecl*)(void*);

struct CabinetLibrary {
  CreateFunction create = nullptr;
  CopyFunction copy = nullptr;
  DestroyFunction destroy = nullptr;
};

// The export by its ordinal, as the function type it has.
template <class Function>
Function Ordinal(HMODULE module, WORD ordinal) {
  FARPROC address =
      GetProcAddress(module, reinterpret_cast<LPCSTR>(static_cast<ULONG_PTR>(ordinal)));
  return reinterpret_cast<Function>(reinterpret_cast<void*>(address));
}

CabinetLibrary LoadCabinetLibrary() {
  CabinetLibrary library;
  wchar_t system[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(system, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return library;
  const std::wstring path = std::wstring(system, length) + L"\\cabinet.dll";
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module) return library;
  library.create = Ordinal<CreateFunction>(module, 20);
  library.copy = Ordinal<CopyFunction>(module, 22);
  library.destroy = Ordinal<DestroyFunction>(module, 23);
  if (!library.create || !library.copy || !library.destroy) library = CabinetLibrary();
  return library;
}

const CabinetLibrary& Library() {
  static const CabinetLibrary library = LoadCabinetLibrary();
  return library;
}

}  // namespace

void* FdiCreate(FdiAlloc alloc, FdiFree release, FdiOpen open, FdiRead read, FdiWrite write,
                FdiClose close, FdiSeek seek, int cpuType, FdiErrorRecord* error) {
  if (!Library().create) {
    if (error) {
      *error = FdiErrorRecord();
      error->erfOper = kFdiAllocFail;
      error->fError = TRUE;
    }
    return nullptr;
  }
  return Library().create(alloc, release, open, read, write, close, seek, cpuType, error);
}

bool FdiCopy(void* context, char* cabinetName, char* cabinetPath, int flags, FdiNotify notify,
             void* userValue) {
  if (!Library().copy || !context) return false;
  return Library().copy(context, cabinetName, cabinetPath, flags, notify, nullptr, userValue) !=
         FALSE;
}

bool FdiDestroy(void* context) {
  if (!Library().destroy || !context) return false;
  return Library().destroy(context) != FALSE;
}

}  // namespace platform
}  // namespace orvex
