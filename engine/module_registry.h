#pragma once
// The registry of module classes by the names configurations give them. The registry only
// looks names up; the program hands it its table of classes when it starts
// (app/module_table.h).

#include <cstddef>
#include <string>
#include <vector>

namespace orvex {

class IModule;

// One class of the table: the name configurations use and how to make a new module of it.
struct ModuleClass {
  const char* name;
  IModule* (*create)();
};

// Makes count entries starting at classes the table every later lookup reads, in place of any
// earlier one. The table is not copied: it must outlive the lookups (a static array).
void RegisterModuleClasses(const ModuleClass* classes, std::size_t count);

// A new, default-constructed module of the named class, or null for a name the installer
// does not know. Names are compared exactly (case matters). The caller owns the module.
IModule* CreateModuleByClass(std::string className);

// Every class name the registry knows, in table order.
std::vector<std::string> RegisteredModuleClasses();

}  // namespace orvex
