#pragma once
// One owner for every kind of Windows handle. ScopedHandle<Traits> holds one handle and closes
// it when it goes out of scope, whichever way the scope ends; each kind of handle states in its
// traits the value that means "no handle" and the function that closes one. Windows does not
// agree with itself on the first: CreateFileW and FindFirstFileW answer INVALID_HANDLE_VALUE
// on failure, OpenProcess, CreateMutexW and the registry and service calls NULL, and a handle
// compared against the wrong one would be closed when it is not open or leak when it is.
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

  bool IsValid() const { return handle_ != Traits::Invalid(); }
  Handle Get() const { return handle_; }

  // For the calls that hand a handle back through a pointer (OpenProcessToken, RegOpenKeyExW):
  // whatever was held is closed first.
  Handle* Receive() {
    Close();
    return &handle_;
  }

  // Gives the handle up without closing it.
  Handle Release() {
    Handle handle = handle_;
    handle_ = Traits::Invalid();
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
    handle_ = Traits::Invalid();
    return closed;
  }

 private:
  Handle handle_ = Traits::Invalid();
};

// Kernel objects whose functions answer NULL on failure: processes, tokens, mutexes.
struct KernelObjectTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return nullptr; }
  static bool Close(Handle handle) { return CloseHandle(handle) != FALSE; }
};

// Files, devices and snapshots: CreateFileW and CreateToolhelp32Snapshot answer
// INVALID_HANDLE_VALUE on failure.
struct FileHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static bool Close(Handle handle) { return CloseHandle(handle) != FALSE; }
};

// A directory listing from FindFirstFileW: INVALID_HANDLE_VALUE on failure, closed by FindClose
// (CloseHandle on it is an error).
struct FindHandleTraits {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static bool Close(Handle handle) { return FindClose(handle) != FALSE; }
};

// An open registry key (RegOpenKeyExW, RegCreateKeyExW), closed by RegCloseKey. Never the
// predefined roots such as HKEY_LOCAL_MACHINE: those are not ours to close.
struct RegistryKeyTraits {
  using Handle = HKEY;
  static Handle Invalid() { return nullptr; }
  static bool Close(Handle handle) { return RegCloseKey(handle) == ERROR_SUCCESS; }
};

// The service control manager or a service (OpenSCManagerW, OpenServiceW, CreateServiceW),
// closed by CloseServiceHandle.
struct ServiceHandleTraits {
  using Handle = SC_HANDLE;
  static Handle Invalid() { return nullptr; }
  static bool Close(Handle handle) { return CloseServiceHandle(handle) != FALSE; }
};

using ScopedKernelObject = ScopedHandle<KernelObjectTraits>;
using ScopedFileHandle = ScopedHandle<FileHandleTraits>;
using ScopedFindHandle = ScopedHandle<FindHandleTraits>;
using ScopedRegistryKey = ScopedHandle<RegistryKeyTraits>;
using ScopedServiceHandle = ScopedHandle<ServiceHandleTraits>;

}  // namespace platform
}  // namespace orvex
