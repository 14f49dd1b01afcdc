#include "platform/pipe.h"

#include <windows.h>

#include "platform/win32/admin_only_security.h"

namespace orvex {
namespace platform {

namespace {

// A pipe of one instance: nobody can add an instance of their own beside ours and answer
// our clients in our name.
constexpr DWORD kInstances = 1;
constexpr DWORD kBufferBytes = 1024;

}  // namespace

void PresencePipe::Close() {
  if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
}

PresencePipe CreatePresencePipe(const std::wstring& name) {
  PresencePipe pipe;
  AdminOnlySecurity security(AdminOnlySecurity::kPipe);
  // Without its descriptor the pipe would get the default one, which lets more in: no pipe.
  if (!security.Attributes()) return pipe;
  const std::wstring path = L"\\\\.\\pipe\\" + name;
  HANDLE handle = CreateNamedPipeW(
      path.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_FIRST_PIPE_INSTANCE,
      PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_NOWAIT | PIPE_REJECT_REMOTE_CLIENTS,
      kInstances, kBufferBytes, kBufferBytes, 0, security.Attributes());
  if (handle == INVALID_HANDLE_VALUE) return pipe;
  // No-wait mode: this returns at once whether or not a client is there; nobody waits for
  // one, the pipe only has to exist.
  ConnectNamedPipe(handle, nullptr);
  pipe.handle_ = handle;
  return pipe;
}

}  // namespace platform
}  // namespace orvex
