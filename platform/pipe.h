#pragma once
// The presence pipe: a named pipe that a running download creates so that other processes
// can see that the installer is at work.

#include <string>

namespace orvex {
namespace platform {

// Creates the pipe \\.\pipe\<name> (duplex, message type and read mode, no-wait, unlimited
// instances, 1024-byte buffers) readable and writable by authenticated users and fully open
// to administrators, and starts listening on it. Nothing is reported: a pipe that cannot be
// created only means that nobody can see us. The handle is never closed, so the pipe lives
// as long as the process. The host build has no named pipes and does nothing.
void CreatePresencePipe(const std::wstring& name);

}  // namespace platform
}  // namespace orvex
