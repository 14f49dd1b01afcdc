#pragma once
// The window program's installation-report hook of the plan run.

namespace orvex {

// Makes the plan run send the installation report and the analytics hit (telemetry).
void InstallTelemetryHook();

}  // namespace orvex
