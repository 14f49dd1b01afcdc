#include "engine/module_registry.h"

#include "actions/ajax_request.h"
#include "actions/connectivity_checker.h"
#include "actions/dump_state.h"
#include "actions/http_downloader.h"
#include "actions/injector.h"
#include "engine/rules_runner.h"

namespace orvex {

namespace {

struct ModuleClass {
  const char* name;
  IModule* (*create)();
};

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
};

}  // namespace

IModule* CreateModuleByClass(std::string className) {
  for (const ModuleClass& entry : kModuleClasses)
    if (className == entry.name) return entry.create();
  return nullptr;
}

std::vector<std::string> RegisteredModuleClasses() {
  std::vector<std::string> names;
  for (const ModuleClass& entry : kModuleClasses) names.push_back(entry.name);
  return names;
}

}  // namespace orvex
