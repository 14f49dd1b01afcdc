#pragma once
// The installer's own version: sent with telemetry and part of the crash files' names.

namespace orvex {

constexpr const char* kInstallerVersion = "2.0.6.8063";

}  // namespace orvex
