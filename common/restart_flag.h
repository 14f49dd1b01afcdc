#pragma once
// Where the session document records that Windows must restart to finish the installation.
// The Windows Installer module and the driver installation the prompts inject set it; the
// closing prompt reads it and offers the restart.

namespace orvex {

constexpr const char* kRestartFlagPath = ".InstallConfig.installer.restart";

}  // namespace orvex
