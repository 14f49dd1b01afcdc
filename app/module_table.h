#pragma once
// The module classes of the installer by the names configurations give them: every action,
// probe and prompt module the product has. Programs hand the table to the engine's registry
// (engine/module_registry.h) when they start, before any configuration is loaded.

namespace orvex {

// Registers the table; safe to call more than once.
void RegisterModuleTable();

}  // namespace orvex
