#include "platform/process_launch.h"

#include <windows.h>
#include <shellapi.h>

#include "platform/win32/scoped_handle.h"

namespace orvex {
namespace platform {

namespace {

class StartedProcess : public IStartedProcess {
 public:
  explicit StartedProcess(HANDLE process) : process_(process) {}

  WaitResult WaitForExit(uint32_t milliseconds) override {
    if (!process_.IsValid()) return WaitResult::kFailed;
    switch (WaitForSingleObject(process_.Get(), milliseconds)) {
      case WAIT_OBJECT_0:
        return WaitResult::kExited;
      case WAIT_TIMEOUT:
        return WaitResult::kTimedOut;
      default:
        return WaitResult::kFailed;
    }
  }

  bool ExitCode(uint32_t* code) override {
    DWORD value = 0;
    if (!process_.IsValid() || !GetExitCodeProcess(process_.Get(), &value)) return false;
    *code = value;
    return true;
  }

 private:
  // Null when the shell started nothing it could hand back.
  ScopedKernelObject process_;
};

}  // namespace

std::unique_ptr<IStartedProcess> StartProgram(const ProgramLaunch& launch, uint32_t* error) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof info;
  // Without SEE_MASK_FLAG_NO_UI the shell answers a missing program with a message box of its
  // own, which would hold the session thread until someone closes it; the callers report the
  // failure themselves.
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpFile = launch.file.c_str();
  info.lpParameters = launch.parameters.empty() ? nullptr : launch.parameters.c_str();
  info.nShow = launch.showCommand;
  if (!ShellExecuteExW(&info)) {
    if (error) *error = GetLastError();
    return nullptr;
  }
  return std::make_unique<StartedProcess>(info.hProcess);
}

}  // namespace platform
}  // namespace orvex
