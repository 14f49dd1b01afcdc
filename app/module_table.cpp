#include "app/module_table.h"

#include "actions/ajax_request.h"
#include "actions/cab_extractor.h"
#include "actions/connectivity_checker.h"
#include "actions/create_in_temp_dir.h"
#include "actions/dp_installer.h"
#include "actions/dump_state.h"
#include "actions/http_downloader.h"
#include "actions/injector.h"
#include "actions/install_dotnet.h"
#include "actions/msi_installer.h"
#include "actions/post_install.h"
#include "actions/remove_dir.h"
#include "actions/restart_system.h"
#include "engine/module_registry.h"
#include "engine/rules_runner.h"
#include "probes/info_modules.h"
#include "probes/product_info_module.h"
#include "probes/rights_checkers.h"
#include "prompts/closing_prompts.h"
#include "prompts/dependency_prompts.h"
#include "prompts/version_check.h"

namespace orvex {

namespace {

template <class Module>
IModule* Create() {
  return new Module();
}

// Some registry names differ from the class names on purpose; the names are the
// configuration's interface.
const ModuleClass kModuleClasses[] = {
    {"ConnectivityChecker", &Create<CConnectivityChecker>},
    {"HTTPDownloader", &Create<CHTTPDownloader>},
    {"RulesRunner", &Create<CRulesRunner>},
    {"AjaxRequest", &Create<CAjaxRequest>},
    {"Injector", &Create<CInjector>},
    {"DumpState", &Create<CDumpState>},
    {"GetDOTNetInfo", &Create<CGetDOTNetInfo>},
    {"GetOSVersion", &Create<CGetOSVersion>},
    {"GetTotalRAM", &Create<CGetTotalRAM>},
    {"GetPlatformInfo", &Create<CGetPlatformInfo>},
    {"GetOpenGLVersion", &Create<COpenGLVersion>},
    {"GetGPUDriverVersion", &Create<CGPUDriverVersion>},
    {"GetVTInfo", &Create<CGetVTInfo>},
    {"GetProductInfo", &Create<CGetProductInfo>},
    {"RightsToDirChecker", &Create<CRightToDirChecker>},
    {"SysRightsToTempChecker", &Create<CSysRightsToTempChecker>},
    {"CreateInTempDir", &Create<CCreateInTempDir>},
    {"RemoveDir", &Create<CRemoveDir>},
    {"RestartSystem", &Create<CRestart>},
    {"CABExtractor", &Create<CCABExtractor>},
    {"MSIInstaller", &Create<CMSIInstaller>},
    {"DPInstaller", &Create<CDPInstaller>},
    {"InstallDOTNET", &Create<CInstallDOTNET>},
    {"PostInstall", &Create<CPostInstallation>},
    {"CheckPromptVersion", &Create<CCheckPromptVersion>},
    {"CheckPromptDOTNET", &Create<CCheckPromptDOTNET>},
    {"CheckPromptGPUDriver", &Create<CCheckPromptGPUDriver>},
    {"CheckPromptVT", &Create<CCheckPromptVT>},
    {"CheckPromptUninstallable", &Create<CCheckPromptUninstallable>},
    {"CheckPromptRestart", &Create<CCheckPromptRestart>},
};

}  // namespace

void RegisterModuleTable() {
  RegisterModuleClasses(kModuleClasses, sizeof kModuleClasses / sizeof kModuleClasses[0]);
}

}  // namespace orvex
