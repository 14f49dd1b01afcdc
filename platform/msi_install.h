#pragma once
// Windows Installer (msi.dll): installing a package silently with an external message handler.
// Results are Windows Installer codes (0 success, 1603 fatal error, 1633 platform unsupported,
// 3010 restart required, ...). The simulated machine installs a package by reading its own
// tables (platform/sim/README.md).

#include <cstdint>
#include <string>

#if defined(_WIN32)
#define ORVEX_MSI_CALLBACK __stdcall
#else
#define ORVEX_MSI_CALLBACK
#endif

namespace orvex {
namespace platform {

// INSTALLUI_HANDLERW: (context, message type, message text) -> IDOK, IDCANCEL, 0 ...
using InstallMessageHandler = int(ORVEX_MSI_CALLBACK*)(void* context, uint32_t messageType,
                                                       const wchar_t* message);

// Message kinds (the high byte of the type) and the user-interface levels used here.
constexpr uint32_t kInstallMessageFatalExit = 0x00000000u;
constexpr uint32_t kInstallMessageError = 0x01000000u;
constexpr uint32_t kInstallMessageWarning = 0x02000000u;
constexpr uint32_t kInstallMessageUser = 0x03000000u;
constexpr uint32_t kInstallMessageInfo = 0x04000000u;
constexpr uint32_t kInstallMessageActionStart = 0x08000000u;
constexpr uint32_t kInstallMessageActionData = 0x09000000u;
constexpr uint32_t kInstallMessageProgress = 0x0A000000u;
constexpr uint32_t kInstallMessageCommonData = 0x0B000000u;
constexpr uint32_t kInstallMessageInitialize = 0x0C000000u;
constexpr uint32_t kInstallMessageTerminate = 0x0D000000u;
constexpr uint32_t kInstallMessageInstallStart = 0x1A000000u;
constexpr uint32_t kInstallMessageInstallEnd = 0x1B000000u;
constexpr uint32_t kInstallMessageKindMask = 0xFF000000u;

constexpr uint32_t kInstallUiLevelNone = 2;
constexpr uint32_t kInstallUiLevelSourceResOnly = 0x100;

// Results that count as success with a restart needed (3010) or started (1641).
constexpr uint32_t kErrorSuccessRebootRequired = 3010;
constexpr uint32_t kErrorSuccessRebootInitiated = 1641;
constexpr uint32_t kErrorInstallFailure = 1603;
constexpr uint32_t kErrorInstallPlatformUnsupported = 1633;
constexpr uint32_t kErrorInstallPackageOpenFailed = 1619;

// MsiSetInternalUI(level, NULL): the level that was set before.
uint32_t SetInstallUiLevel(uint32_t level);

// MsiSetExternalUIW(handler, filter, context): the handler that was set before (its context is
// not reported by Windows Installer).
InstallMessageHandler SetInstallMessageHandler(InstallMessageHandler handler, uint32_t filter,
                                               void* context);

// MsiInstallProductW(packagePath, commandLine).
[[nodiscard]] uint32_t InstallProduct(const std::wstring& packagePath,
                                      const std::wstring& commandLine);

// FormatMessageW(FROM_SYSTEM | IGNORE_INSERTS, code, language 1033) into 1024 characters: the
// system's text for an error code in UTF-8 with its line break, or "" when there is none.
std::string SystemErrorText(uint32_t code);

}  // namespace platform
}  // namespace orvex
