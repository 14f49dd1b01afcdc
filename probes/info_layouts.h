#pragma once
// What the information modules write into the session document. Built-in snippets, rules and
// prompts read these members by name (".Config.gpu.gpu1.vendorid", ".Config.platform.os_arch"),
// so the layouts are fixed.

#include <json/json.h>

#include <string>

#include "probes/system_info.h"
#include "probes/virtualization.h"

namespace orvex {

Json::Value DotNetLayout(const CSystemInfo& info);     // ".dotnet"
Json::Value OsVersionLayout(const CSystemInfo& info);  // ".osver"
Json::Value PlatformLayout(const CSystemInfo& info);   // ".platform"
Json::Value OpenGlLayout(const CSystemInfo& info);     // ".opengl"
Json::Value GpuLayout(const CSystemInfo& info);        // ".gpu"
Json::Value VtLayout(const VtStatus& status);          // ".vt"

// An installed product's properties as Windows Installer gives them.
struct ProductProperties {
  std::string name;           // InstalledProductName
  std::string publisher;      // Publisher
  std::string versionMajor;   // VersionMajor
  std::string versionMinor;   // VersionMinor
  std::string versionString;  // VersionString
};
Json::Value ProductLayout(const ProductProperties& product);  // ".product"

}  // namespace orvex
