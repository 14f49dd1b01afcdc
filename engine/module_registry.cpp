#include "engine/module_registry.h"

namespace orvex {

namespace {

const ModuleClass* g_classes = nullptr;
std::size_t g_classCount = 0;

}  // namespace

void RegisterModuleClasses(const ModuleClass* classes, std::size_t count) {
  g_classes = classes;
  g_classCount = count;
}

IModule* CreateModuleByClass(std::string className) {
  for (std::size_t i = 0; i < g_classCount; ++i)
    if (className == g_classes[i].name) return g_classes[i].create();
  return nullptr;
}

std::vector<std::string> RegisteredModuleClasses() {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < g_classCount; ++i) names.push_back(g_classes[i].name);
  return names;
}

}  // namespace orvex
