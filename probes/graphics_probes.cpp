#include "probes/graphics_probes.h"

#include "base/text.h"
#include "probes/graphics_classification.h"
#include "probes/wmi_connection.h"
#include "probes/wmi_queries.h"

namespace orvex {

std::vector<GpuInfo> ProbeVideoControllers() {
  CWmiConnection wmi;
  wmi.Connect(ToWide(kCimNamespace));
  std::vector<GpuInfo> gpus;
  for (const WmiRow& row : wmi.QueryAll("Win32_VideoController", kPciVideoControllerCondition)) {
    VideoControllerProperties properties;
    properties.videoProcessor = CWmiConnection::GetString(row, "VideoProcessor");
    properties.caption = CWmiConnection::GetString(row, "Caption");
    properties.driverVersion = CWmiConnection::GetString(row, "DriverVersion");
    properties.pnpDeviceId = CWmiConnection::GetString(row, "PNPDeviceID");
    gpus.push_back(DescribeVideoController(properties));
  }
  wmi.Close();
  return gpus;
}

}  // namespace orvex
