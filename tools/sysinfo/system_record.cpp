#include "tools/sysinfo/system_record.h"

#include <memory>

#include "engine/module.h"
#include "engine/module_registry.h"
#include "engine/stage.h"

namespace orvex {
namespace sysinfo {
namespace {

Json::Value StringList(const std::vector<std::string>& items) {
  Json::Value list(Json::arrayValue);
  for (const std::string& item : items) list.append(item);
  return list;
}

Json::Value GpuJson(const GpuInfo& gpu) {
  Json::Value json;
  json["name"] = gpu.name;
  json["driverVersion"] = gpu.driverVersion;
  json["vendorId"] = gpu.vendorId;
  json["deviceId"] = gpu.deviceId;
  json["buildNum"] = gpu.buildNum;
  json["driverProvider"] = gpu.driverProvider;
  json["manufacturer"] = gpu.manufacturer;
  json["active"] = gpu.active;
  return json;
}

struct ModuleRun {
  const char* className;
  const char* extraArgument;  // name of the module's second argument, or null
  const char* extraValue;
};

const ModuleRun kInformationModules[] = {
    {"GetDOTNetInfo", nullptr, nullptr},    {"GetOSVersion", nullptr, nullptr},
    {"GetTotalRAM", nullptr, nullptr},      {"GetPlatformInfo", nullptr, nullptr},
    {"GetOpenGLVersion", nullptr, nullptr}, {"GetGPUDriverVersion", nullptr, nullptr},
    {"GetVTInfo", "directory", ""},         {"GetProductInfo", "product", "Orvex"},
};

}  // namespace

Json::Value SystemInfoJson(const CSystemInfo& info) {
  Json::Value json;
  json["diskSerial"] = info.diskSerial;
  json["hostId"] = info.hostId;
  json["biosSerial"] = info.biosSerial;
  json["osName"] = info.osName;
  json["osArch"] = info.osArch;
  json["osVersion"] = info.osVersion;
  json["osMajor"] = info.osMajor;
  json["osMinor"] = info.osMinor;
  json["processorName"] = info.processorName;
  json["processorMfr"] = info.processorMfr;
  json["processorCount"] = info.processorCount;
  json["manufacturer"] = info.manufacturer;
  json["model"] = info.model;
  json["singleGpu"] = info.singleGpu;
  json["hypervisorPresent"] = info.hypervisorPresent;
  json["vtFirmwareEnabled"] = info.vtFirmwareEnabled;
  json["openglMajorText"] = info.openglMajorText;
  json["openglVersion"] = info.openglVersion;
  json["openglMajor"] = info.openglMajor;
  json["openglMinor"] = info.openglMinor;
  json["openglVendor"] = info.openglVendor;
  json["ramMb"] = info.ramMb;
  json["screenSize"] = info.screenSize;
  json["userName"] = info.userName;
  json["dotnetVersion"] = info.dotnetVersion;
  json["dotnetMajor"] = info.dotnetMajor;
  json["dotnetMinor"] = info.dotnetMinor;
  json["systemDrive"] = info.systemDrive;
  json["macAddresses"] = StringList(info.macAddresses);
  json["securityProducts"] = StringList(info.securityProducts);
  Json::Value& gpus = json["gpus"] = Json::Value(Json::arrayValue);
  for (const GpuInfo& gpu : info.gpus) gpus.append(GpuJson(gpu));
  json["gpuCount"] = info.gpuCount;
  return json;
}

Json::Value RunInformationModules() {
  CStage stage("SystemInfo");
  Json::Value document(Json::objectValue);
  Json::Value results(Json::objectValue);
  for (const ModuleRun& run : kInformationModules) {
    // Created through the registry, as a configuration naming the class would get it.
    std::unique_ptr<IModule> module(CreateModuleByClass(run.className));
    if (!module) {
      results[run.className] = "not registered";
      continue;
    }
    Json::Value args;
    args["saveTo"] = ".Config";
    if (run.extraArgument) args[run.extraArgument] = run.extraValue;
    module->SetName(run.className);
    module->SetArgs(args);
    module->Init(nullptr, &stage);
    results[run.className] = module->Execute(document);
  }
  Json::Value json;
  json["document"] = document;
  json["results"] = results;
  return json;
}

Json::Value RecordInstallerView() {
  Json::Value json;
  json["systemInfo"] = SystemInfoJson(GetSystemInfo());
  json["modules"] = RunInformationModules();
  return json;
}

}  // namespace sysinfo
}  // namespace orvex
