#include "app/win32/telemetry_hook.h"

#include "app/install_report.h"
#include "engine/install_plan.h"

namespace orvex {

void InstallTelemetryHook() { SetInstallReportHook(&telemetry::SendInstallReport); }

}  // namespace orvex
