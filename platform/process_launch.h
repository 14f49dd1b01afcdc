#pragma once
// Starting programs as the shell does, waiting for them and reading their exit codes.
// StartProgram mirrors ShellExecuteExW with SEE_MASK_NOCLOSEPROCESS; the started process
// mirrors the process handle it hands back. The simulated machine starts nothing: it records
// the program in its state and answers the exit code its profile gives (platform/sim/README.md).

#include <cstdint>
#include <memory>
#include <string>

namespace orvex {
namespace platform {

// Show commands (nShow) the installer uses.
constexpr int kShowHide = 0;       // SW_HIDE
constexpr int kShowMaximized = 3;  // SW_SHOWMAXIMIZED

// What the shell is asked to start: no window, no verb (the default) and no directory.
struct ProgramLaunch {
  std::wstring file;        // lpFile: a path, possibly in double quotes, or a program name
  std::wstring parameters;  // lpParameters; empty passes none (NULL)
  int showCommand = kShowHide;
};

enum class WaitResult { kExited, kTimedOut, kFailed };

// The longest wait WaitForExit takes: one below INFINITE (0xFFFFFFFF), about 49.7 days.
constexpr uint32_t kLongestWaitMilliseconds = 0xFFFFFFFEu;

// The process handle of a started program. Destroying the object closes the handle
// (CloseHandle); the program itself goes on running.
class IStartedProcess {
 public:
  virtual ~IStartedProcess() = default;
  // WaitForSingleObject(process, milliseconds): kExited when the process has ended
  // (WAIT_OBJECT_0), kTimedOut when it still runs after that time (WAIT_TIMEOUT; it goes on
  // running), kFailed when the wait failed or there is no process to wait for.
  [[nodiscard]] virtual WaitResult WaitForExit(uint32_t milliseconds) = 0;
  // GetExitCodeProcess: true with the code in *code; false when the call failed. A process
  // that still runs reads as STILL_ACTIVE (259).
  [[nodiscard]] virtual bool ExitCode(uint32_t* code) = 0;
};

// ShellExecuteExW with SEE_MASK_NOCLOSEPROCESS and SEE_MASK_FLAG_NO_UI (a failure shows no
// message box of the shell's). Null when the call failed, with the Windows
// error (ERROR_FILE_NOT_FOUND, ...) in *error when error is not null. The shell may start a
// program without handing back a process (a document opened in a running program); waiting
// for such a start fails.
[[nodiscard]] std::unique_ptr<IStartedProcess> StartProgram(const ProgramLaunch& launch,
                                                            uint32_t* error);

}  // namespace platform
}  // namespace orvex
