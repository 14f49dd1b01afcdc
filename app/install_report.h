#pragma once
// The installation report: at the end of a plan run the outcome goes to the web service
// ("/installer/install?") and, as an app-view hit, to the analytics collector.

#include <json/json.h>

#include <string>
#include <utility>
#include <vector>

#include "probes/system_info.h"

namespace orvex {

using ReportPairs = std::vector<std::pair<std::string, std::string>>;

struct InstallReport {
  ReportPairs pairs;   // in the order they are sent
  std::string status;  // "INSTALLED", "FAILED", "INSTALLATION_STATUS_UNKNOWN" or ""
};

// The report's pairs for a run's outcome: the machine's facts under ".Config.platform", the
// active controllers' entries of ".Config.gpu" (walked over controllers, the system's video
// controllers in list order), ".Config.opengl", the version and the status. failedStage is the
// failed stage's record (not read on success). Reads are tolerant: a lookup on something that
// is not an object reads as missing, a container where text is expected reads as "".
InstallReport BuildInstallReport(bool success, const Json::Value& document,
                                 const Json::Value& failedStage,
                                 const std::vector<GpuInfo>& controllers);

namespace telemetry {

// The plan run's installation-report hook: sends the report and the analytics hit, once each,
// synchronously; answers are ignored and nothing that goes wrong here reaches the run.
void SendInstallReport(bool success, Json::Value document, Json::Value failedStage);

}  // namespace telemetry

}  // namespace orvex
