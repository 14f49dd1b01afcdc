#pragma once
// What the installer learns about the machine, as JSON, so that two runs (a real machine and
// its recorded profile replayed on the simulated one) can be compared member by member.

#include <json/json.h>

#include "probes/system_info.h"

namespace orvex {
namespace sysinfo {

// Every field of the record; GPUs as an array of objects.
Json::Value SystemInfoJson(const CSystemInfo& info);

// The eight information modules run once each with "saveTo" ".Config" (GetVTInfo with the
// directory "", GetProductInfo with the product "Orvex") in a stage named "SystemInfo":
// {"document": the session document they wrote, "results": {class: Execute's result}}.
Json::Value RunInformationModules();

// {"systemInfo": SystemInfoJson(GetSystemInfo()), "modules": RunInformationModules()}.
Json::Value RecordInstallerView();

}  // namespace sysinfo
}  // namespace orvex
