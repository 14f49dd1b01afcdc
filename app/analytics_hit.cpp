#include "app/analytics_hit.h"

#include "app/installer_version.h"
#include "common/web_service.h"
#include "probes/system_info.h"

namespace orvex {

CQueryRequest MakeAnalyticsHit() {
  CQueryRequest hit(GetAnalyticsUrl());
  hit.AddParam("v", "1");
  hit.AddParam("tid", AnalyticsTrackingId());
  hit.AddParam("t", "appview");
  hit.AddParam("cid", GetSystemInfo().diskSerial);
  hit.AddParam("av", kInstallerVersion);
  hit.AddParam("an", "Binaro");
  return hit;
}

void AddSystemDimensions(CQueryRequest& hit) { AddSystemDimensions(hit, GetSystemInfo()); }

void AddSystemDimensions(CQueryRequest& hit, const CSystemInfo& info) {
  std::string controllers;
  for (std::size_t i = 0; i < info.gpus.size(); ++i)
    controllers += (i ? " | " : "") + info.gpus[i].name;
  hit.AddParam("cd1", info.osName);
  hit.AddParam("cd2", info.screenSize);
  hit.AddParam("cd3", controllers);
  hit.AddParam("cd4", info.openglMajorText);
  hit.AddParam("cd5", info.model);
  hit.AddParam("cd6", info.processorName);
  hit.AddParam("cd7", info.ramMb);
  hit.AddParam("cd8", info.manufacturer);
  hit.AddParam("cd11", info.biosSerial);
  hit.AddParam("cd12", info.osArch);
  hit.AddParam("cd13", info.diskSerial);
  hit.AddParam("cd14", kInstallerVersion);
  hit.AddParam("cd15", info.hostId);
}

}  // namespace orvex
