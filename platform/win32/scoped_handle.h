#pragma once
// One owner for every kind of Windows handle. ScopedHandle<Traits> holds one handle and closes
// it when it goes out of scope, whichever way the scope ends; each kind of handle states in its
// traits the function that closes one. Windows does not agree with itself on the value that
// means "no handle": CreateFileW and FindFirstFileW answer INVALID_HANDLE_VALUE on failure,
// OpenProcess, CreateMutexW and the registry and service calls NULL. The owner takes both as
// "no handle" whatever the kind, so no caller can pick the wrong one (a handle compared against
// the wrong value would be closed when it is not open). Neither is ever a handle a program
// owns: -1 is also the current process's pseudo handle, which needs no closing.
// Owners move, they are never copied (one handle, one CloseHandle).

#include <windows.h>

namespace orvex {
namespace platform {

template <typename Traits>
class ScopedHandle {
 public:
  using Handle = typename Traits::Handle;

  ScopedHandle() = default;
  explicit ScopedHandle(Handle handle) : handle_(handle) {}
  ~ScopedHandle() { Close(); }

  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.Release()) {}
  ScopedHandle& operator=(ScopedHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }

  bool IsValid() const { return IsHandle(handle_); }
  Handle Get() const { return handle_; }

  // For the calls that hand a handle back through a pointer (OpenProcessToken, RegOpenKeyExW):
  // whatever was held is closed first.
  Handle* Receive() {
    Close();
    return &handle_;
  }

  // Gives the handle up without closing it: the caller closes it now.
  [[nodiscard]] Handle Release() {
    Handle handle = handle_;
    handle_ = Handle();
    return handle;
  }

  void Reset(Handle handle) {
    Close();
    handle_ = handle;
  }

  // Closes the handle now, for callers whose next step needs it closed (a file deleted on
  // close). False when the close itself failed; true when nothing was held.
  bool Close() {
    if (!IsValid()) return true;
    const bool closed = Traits::Close(handle_);
    handle_ = Handle();
    return closed;
  }

  // Whether a value some Windows call answered is a handle: neither NULL nor
  // INVALID_HANDLE_VALUE.
  static bool IsHandle(Handle handle) {
    return handle != Handle() && handle != reinterpret_cast<Handle>(INVALID_HANDLE_VALUE);
  }

 private:
  Handle handle_ = Handle();
};

// Everything CloseHandle closes: files, devices, snapshots, processes, tokens, mutexes.
struct HandleTraits {
  using Handle = HANDLE;
  static bool Close(Handle handle) { return CloseHandle(handle) != FALSE; }
};

// A directory listing from FindFirstFileW, closed by FindClose (CloseHandle on it is an error).
struct FindHandleTraits {
  using Handle = HANDLE;
  static bool Close(Handle handle) { return FindClose(handle) != FALSE; }
};

// An open registry key (RegOpenKeyExW, RegCreateKeyExW), closed by RegCloseKey. Never the
// predefined roots such as HKEY_LOCAL_MACHINE: those are not ours to close.
struct RegistryKeyTraits {
  using Handle = HKEY;
  static bool Close(Handle handle) { return RegCloseKey(handle) == ERROR_SUCCESS; }
};

// The service control manager or a service (OpenSCManagerW, OpenServiceW, CreateServiceW),
// closed by CloseServiceHandle.
struct ServiceHandleTraits {
  using Handle = SC_HANDLE;
  static bool Close(Handle handle) { return CloseServiceHandle(handle) != FALSE; }
};

// One type: a file handle and a kernel object are closed alike and fail alike.
using ScopedKernelObject = ScopedHandle<HandleTraits>;
using ScopedFileHandle = ScopedHandle<HandleTraits>;
using ScopedFindHandle = ScopedHandle<FindHandleTraits>;
using ScopedRegistryKey = ScopedHandle<RegistryKeyTraits>;
using ScopedServiceHandle = ScopedHandle<ServiceHandleTraits>;

}  // namespace platform
}  // namespace orvex
