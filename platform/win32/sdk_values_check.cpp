// The Windows values the seam's headers copy so that code above the seam (and the simulated
// machine) can use them without <windows.h>, checked here against the SDK's own at compile
// time: a copied value that drifts from Windows' fails the win32 build instead of a
// comparison on a user's machine. The cabinet's FDI values are checked beside the FDI
// structure layouts, in fdi_win32.cpp. Values of our own (kInstallMessageKindMask,
// WmiValue::kOther) and INVALID_HANDLE_VALUE, a pointer cast no constant expression can
// hold, are not here.
#include <windows.h>
#include <msi.h>
#include <wtypes.h>

#include <cstdint>
#include <type_traits>

#include "platform/file_handles.h"
#include "platform/msi_install.h"
#include "platform/process_launch.h"
#include "platform/registry.h"
#include "platform/win_codes.h"
#include "platform/wmi.h"

namespace orvex {
namespace platform {
namespace {

// Compares as the 32-bit values they are on the wire, whatever the types the two sides
// declare them with (LONG, DWORD, an enumerator, int).
template <typename Ours, typename Sdk>
constexpr bool SameValue(Ours ours, Sdk sdk) {
  return static_cast<uint32_t>(ours) == static_cast<uint32_t>(sdk);
}

// win_codes.h: GetLastError and Windows Installer results.
static_assert(SameValue(kErrorSuccess, ERROR_SUCCESS));
static_assert(SameValue(kErrorFileNotFound, ERROR_FILE_NOT_FOUND));
static_assert(SameValue(kErrorPathNotFound, ERROR_PATH_NOT_FOUND));
static_assert(SameValue(kErrorTooManyOpenFiles, ERROR_TOO_MANY_OPEN_FILES));
static_assert(SameValue(kErrorAccessDenied, ERROR_ACCESS_DENIED));
static_assert(SameValue(kErrorInvalidHandle, ERROR_INVALID_HANDLE));
static_assert(SameValue(kErrorNotEnoughMemory, ERROR_NOT_ENOUGH_MEMORY));
static_assert(SameValue(kErrorNoMoreFiles, ERROR_NO_MORE_FILES));
static_assert(SameValue(kErrorSharingViolation, ERROR_SHARING_VIOLATION));
static_assert(SameValue(kErrorBadNetPath, ERROR_BAD_NETPATH));
static_assert(SameValue(kErrorFileExists, ERROR_FILE_EXISTS));
static_assert(SameValue(kErrorInvalidParameter, ERROR_INVALID_PARAMETER));
static_assert(SameValue(kErrorDiskFull, ERROR_DISK_FULL));
static_assert(SameValue(kErrorInsufficientBuffer, ERROR_INSUFFICIENT_BUFFER));
static_assert(SameValue(kErrorInvalidName, ERROR_INVALID_NAME));
static_assert(SameValue(kErrorAlreadyExists, ERROR_ALREADY_EXISTS));
static_assert(SameValue(kErrorFilenameExcedRange, ERROR_FILENAME_EXCED_RANGE));
static_assert(SameValue(kErrorMoreData, ERROR_MORE_DATA));
static_assert(SameValue(kErrorNoMoreItems, ERROR_NO_MORE_ITEMS));
static_assert(SameValue(kErrorServiceAlreadyRunning, ERROR_SERVICE_ALREADY_RUNNING));
static_assert(SameValue(kErrorServiceDoesNotExist, ERROR_SERVICE_DOES_NOT_EXIST));
static_assert(SameValue(kErrorServiceNotActive, ERROR_SERVICE_NOT_ACTIVE));
static_assert(SameValue(kErrorServiceExists, ERROR_SERVICE_EXISTS));
static_assert(SameValue(kErrorBadConfiguration, ERROR_BAD_CONFIGURATION));
static_assert(SameValue(kErrorUnknownProduct, ERROR_UNKNOWN_PRODUCT));
static_assert(SameValue(kErrorUnknownProperty, ERROR_UNKNOWN_PROPERTY));

// win_codes.h: file attributes.
static_assert(SameValue(kFileAttributeReadonly, FILE_ATTRIBUTE_READONLY));
static_assert(SameValue(kFileAttributeHidden, FILE_ATTRIBUTE_HIDDEN));
static_assert(SameValue(kFileAttributeDirectory, FILE_ATTRIBUTE_DIRECTORY));
static_assert(SameValue(kFileAttributeArchive, FILE_ATTRIBUTE_ARCHIVE));
static_assert(SameValue(kFileAttributeNormal, FILE_ATTRIBUTE_NORMAL));
static_assert(SameValue(kFileAttributeReparsePoint, FILE_ATTRIBUTE_REPARSE_POINT));
static_assert(SameValue(kInvalidFileAttributes, INVALID_FILE_ATTRIBUTES));

// msi_install.h: message kinds, user-interface levels, results and the handler's type.
static_assert(SameValue(kInstallMessageFatalExit, INSTALLMESSAGE_FATALEXIT));
static_assert(SameValue(kInstallMessageError, INSTALLMESSAGE_ERROR));
static_assert(SameValue(kInstallMessageWarning, INSTALLMESSAGE_WARNING));
static_assert(SameValue(kInstallMessageUser, INSTALLMESSAGE_USER));
static_assert(SameValue(kInstallMessageInfo, INSTALLMESSAGE_INFO));
static_assert(SameValue(kInstallMessageActionStart, INSTALLMESSAGE_ACTIONSTART));
static_assert(SameValue(kInstallMessageActionData, INSTALLMESSAGE_ACTIONDATA));
static_assert(SameValue(kInstallMessageProgress, INSTALLMESSAGE_PROGRESS));
static_assert(SameValue(kInstallMessageCommonData, INSTALLMESSAGE_COMMONDATA));
static_assert(SameValue(kInstallMessageInitialize, INSTALLMESSAGE_INITIALIZE));
static_assert(SameValue(kInstallMessageTerminate, INSTALLMESSAGE_TERMINATE));
static_assert(SameValue(kInstallMessageInstallStart, INSTALLMESSAGE_INSTALLSTART));
static_assert(SameValue(kInstallMessageInstallEnd, INSTALLMESSAGE_INSTALLEND));
static_assert(SameValue(kInstallUiLevelNone, INSTALLUILEVEL_NONE));
static_assert(SameValue(kInstallUiLevelSourceResOnly, INSTALLUILEVEL_SOURCERESONLY));
static_assert(SameValue(kErrorSuccessRebootRequired, ERROR_SUCCESS_REBOOT_REQUIRED));
static_assert(SameValue(kErrorSuccessRebootInitiated, ERROR_SUCCESS_REBOOT_INITIATED));
static_assert(SameValue(kErrorInstallFailure, ERROR_INSTALL_FAILURE));
static_assert(SameValue(kErrorInstallPlatformUnsupported, ERROR_INSTALL_PLATFORM_UNSUPPORTED));
static_assert(SameValue(kErrorInstallPackageOpenFailed, ERROR_INSTALL_PACKAGE_OPEN_FAILED));
static_assert(std::is_same<InstallMessageHandler, INSTALLUI_HANDLERW>::value);

// registry.h: value types.
static_assert(SameValue(kRegSz, REG_SZ));
static_assert(SameValue(kRegExpandSz, REG_EXPAND_SZ));
static_assert(SameValue(kRegBinary, REG_BINARY));
static_assert(SameValue(kRegDword, REG_DWORD));
static_assert(SameValue(kRegMultiSz, REG_MULTI_SZ));
static_assert(SameValue(kRegQword, REG_QWORD));

// file_handles.h: CreateFileW's rights, share modes and dispositions, SetFilePointer's
// methods and failure value. A handle travels as an intptr_t.
static_assert(SameValue(kGenericRead, GENERIC_READ));
static_assert(SameValue(kGenericWrite, GENERIC_WRITE));
static_assert(SameValue(kFileShareRead, FILE_SHARE_READ));
static_assert(SameValue(kFileShareWrite, FILE_SHARE_WRITE));
static_assert(SameValue(kCreateAlways, CREATE_ALWAYS));
static_assert(SameValue(kOpenExisting, OPEN_EXISTING));
static_assert(SameValue(kFileBegin, FILE_BEGIN));
static_assert(SameValue(kFileCurrent, FILE_CURRENT));
static_assert(SameValue(kFileEnd, FILE_END));
static_assert(SameValue(kInvalidSetFilePointer, INVALID_SET_FILE_POINTER));
static_assert(sizeof(intptr_t) == sizeof(HANDLE));

// process_launch.h: show commands and the longest wait, one below INFINITE.
static_assert(SameValue(kShowHide, SW_HIDE));
static_assert(SameValue(kShowMaximized, SW_SHOWMAXIMIZED));
static_assert(SameValue(kLongestWaitMilliseconds, INFINITE - 1));

// wmi.h: the VARIANT types a property value keeps.
static_assert(SameValue(WmiValue::kNull, VT_NULL));
static_assert(SameValue(WmiValue::kString, VT_BSTR));
static_assert(SameValue(WmiValue::kBool, VT_BOOL));
static_assert(SameValue(WmiValue::kInt32, VT_I4));

}  // namespace
}  // namespace platform
}  // namespace orvex
