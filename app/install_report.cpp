#include "app/install_report.h"

#include "app/analytics_hit.h"
#include "app/query_request.h"
#include "base/json_text.h"
#include "common/web_service.h"

namespace orvex {

namespace {

bool Has(const Json::Value& object, const char* key) {
  return object.isObject() && object.isMember(key);
}

// Text of a report value (tolerant: an odd value is sent as "").
std::string TextOf(const Json::Value& value) { return TolerantText(value); }

std::string TextOf(const Json::Value& object, const char* key) {
  return TextOf(Member(object, key));
}

// An integer in range, 0 for anything else.
int IntegerOf(const Json::Value& value) {
  if (value.isNumeric() && value.isConvertibleTo(Json::intValue)) return value.asInt();
  return 0;
}

void AddPlatformPairs(const Json::Value& platform, ReportPairs& pairs) {
  static const char* const kFields[][2] = {
      {"disksn", "disksn"},    {"rlmdisksn", "disksn_2"},
      {"biossn", "biossn"},    {"os", "os"},
      {"platform", "os_arch"}, {"manufacturer", "manufacturer"},
      {"model", "model"},      {"ram", "ram"},
      {"mac", "mac"}};
  for (const auto& field : kFields) pairs.emplace_back(field[0], TextOf(platform, field[1]));
  std::string processor;
  if (Has(platform, "processor")) {
    processor = TextOf(platform, "processor");
    if (Has(platform, "processor_mfr")) processor += " | " + TextOf(platform, "processor_mfr");
  }
  pairs.emplace_back("processor", processor);
  pairs.emplace_back("promoter", "");
}

// "gpu" and "gpuversion": one entry per active controller that the document recorded as
// "gpu" + (index + 1), separated by " | " only between entries.
void AddGpuPairs(const Json::Value& gpu, const std::vector<GpuInfo>& controllers,
                 ReportPairs& pairs) {
  std::string adapters;
  std::string versions;
  bool first = true;
  for (std::size_t i = 0; i < controllers.size(); ++i) {
    const std::string key = "gpu" + std::to_string(i + 1);
    if (!controllers[i].active || !Has(gpu, key.c_str())) continue;
    const Json::Value& entry = gpu[key];
    if (!first) {
      adapters += " | ";
      versions += " | ";
    }
    first = false;
    adapters +=
        TextOf(entry, "vendorid") + "_" + TextOf(entry, "deviceid") + " " + TextOf(entry, "name");
    versions += TextOf(entry, "version");
  }
  pairs.emplace_back("gpu", adapters);
  pairs.emplace_back("gpuversion", versions);
}

std::string FailureStatus(const Json::Value& failedStage, ReportPairs& pairs) {
  const Json::Value& status = Member(failedStage, "status");
  if (!Has(status, "progress")) return "INSTALLATION_STATUS_UNKNOWN";
  if (!Has(status, "module")) return std::string();
  const std::string module = TextOf(status, "module");
  pairs.emplace_back("failed_module", module);
  pairs.emplace_back("failed_reason", TextOf(Member(failedStage, module.c_str()), "error"));
  return "FAILED";
}

}  // namespace

InstallReport BuildInstallReport(bool success, const Json::Value& document,
                                 const Json::Value& failedStage,
                                 const std::vector<GpuInfo>& controllers) {
  InstallReport report;
  ReportPairs& pairs = report.pairs;
  const Json::Value& config = Member(document, "Config");
  if (Has(config, "platform")) AddPlatformPairs(config["platform"], pairs);
  if (Has(config, "gpu")) AddGpuPairs(config["gpu"], controllers, pairs);
  if (Has(config, "opengl")) {
    const Json::Value& opengl = config["opengl"];
    pairs.emplace_back("opengl", std::to_string(IntegerOf(Member(opengl, "major"))) + "." +
                                     std::to_string(IntegerOf(Member(opengl, "minor"))));
  }
  if (success) {
    if (Has(config, "installer"))
      pairs.emplace_back("version", TextOf(config["installer"], "orvexversion"));
    report.status = "INSTALLED";
  } else {
    report.status = FailureStatus(failedStage, pairs);
    if (Has(config, "product")) pairs.emplace_back("version", TextOf(config["product"], "version"));
  }
  pairs.emplace_back("status", report.status);
  return report;
}

namespace telemetry {

void SendInstallReport(bool success, Json::Value document, Json::Value failedStage) {
  std::string status;
  try {
    InstallReport report = BuildInstallReport(success, document, failedStage, GetSystemInfo().gpus);
    status = report.status;
    CQueryRequest request(GetBaseUrl() + "/installer/install?");
    for (const auto& pair : report.pairs) request.AddParam(pair.first, pair.second);
    request.Submit();
  } catch (...) {
    // The report never changes the run's outcome.
  }
  try {
    CQueryRequest hit = MakeAnalyticsHit();
    hit.AddParam("cd", status);
    AddSystemDimensions(hit);
    hit.Submit();
  } catch (...) {
  }
}

}  // namespace telemetry

}  // namespace orvex
