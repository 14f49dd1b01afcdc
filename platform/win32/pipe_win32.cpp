#include "platform/pipe.h"

#include <windows.h>
#include <sddl.h>

namespace orvex {
namespace platform {

namespace {

// Authenticated users may read and write, built-in administrators may do anything; both
// entries are inherited by child objects and containers.
const wchar_t kPipeSecurity[] = L"D:(A;OICI;GRGW;;;AU)(A;OICI;GA;;;BA)";

}  // namespace

void CreatePresencePipe(const std::wstring& name) {
  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof attributes;
  attributes.bInheritHandle = FALSE;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  // Without the descriptor the pipe simply gets default security.
  if (ConvertStringSecurityDescriptorToSecurityDescriptorW(kPipeSecurity, SDDL_REVISION_1,
                                                           &descriptor, nullptr))
    attributes.lpSecurityDescriptor = descriptor;

  const std::wstring path = L"\\\\.\\pipe\\" + name;
  HANDLE pipe = CreateNamedPipeW(path.c_str(), PIPE_ACCESS_DUPLEX,
                                 PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_NOWAIT,
                                 PIPE_UNLIMITED_INSTANCES, 1024, 1024, 0, &attributes);
  // No-wait mode: this returns at once whether or not a client is there; nobody waits for
  // one, the pipe only has to exist.
  if (pipe != INVALID_HANDLE_VALUE) ConnectNamedPipe(pipe, nullptr);
  // The pipe keeps its own copy of the security descriptor.
  if (descriptor) LocalFree(descriptor);
  // The handle is deliberately never closed: the pipe must outlive the download and exist as
  // long as the installer process does.
}

}  // namespace platform
}  // namespace orvex
