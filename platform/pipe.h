#pragma once
// The presence pipe: a named pipe that a running download holds open so that other processes
// can see that the installer is at work.

#include <string>

namespace orvex {
namespace platform {

// An open presence pipe, or none. Destroying it closes the pipe's handle, and with the last
// handle the pipe itself goes: a pipe lives exactly as long as its owner.
class PresencePipe {
 public:
  PresencePipe() = default;
  ~PresencePipe();
  PresencePipe(PresencePipe&& other) noexcept;
  PresencePipe& operator=(PresencePipe&& other) noexcept;
  PresencePipe(const PresencePipe&) = delete;
  PresencePipe& operator=(const PresencePipe&) = delete;

  bool IsOpen() const { return handle_ != nullptr; }

 private:
  friend PresencePipe CreatePresencePipe(const std::wstring& name);
  void Close();
  void* handle_ = nullptr;  // the pipe's handle (Windows) or its record (simulated machine)
};

// Creates the pipe \\.\pipe\<name> (duplex, message type and read mode, no-wait, 1024-byte
// buffers) and starts listening on it. Only SYSTEM and the administrators may open it, it
// must be the first instance of that name (a pipe someone else made first is never joined)
// and the only one (no further instance can be added), and clients on other machines are
// refused. Nothing is reported: a pipe that cannot be created only means that nobody can see
// us, and the result is then an empty PresencePipe.
PresencePipe CreatePresencePipe(const std::wstring& name);

}  // namespace platform
}  // namespace orvex
