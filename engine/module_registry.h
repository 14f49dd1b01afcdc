#pragma once
// The registry of module classes by the names configurations give them.

#include <string>
#include <vector>

namespace orvex {

class IModule;

// A new, default-constructed module of the named class, or null for a name the installer
// does not know. Names are compared exactly (case matters). The caller owns the module.
IModule* CreateModuleByClass(std::string className);

// Every class name the registry knows, in table order.
std::vector<std::string> RegisteredModuleClasses();

}  // namespace orvex
