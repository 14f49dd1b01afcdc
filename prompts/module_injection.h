#pragma once
// Adding modules to the running stage, right after the prompt module that asks for them, and
// the error handlers the injected modules get.

#include <functional>
#include <string>
#include <vector>

#include "engine/module.h"
#include "engine/stage.h"

namespace orvex {

// One module to inject: its snippet and the placeholder that its argument texts may hold,
// with the text that replaces it (no placeholder when empty).
struct InjectedModule {
  const char* snippet;
  std::string placeholder;
  std::string replacement;
};

// The module definition of an injected module: the snippet parsed, then the placeholder
// replaced in its argument texts. False when the snippet does not parse to an object.
bool InjectedDefinition(const InjectedModule& module, Json::Value* definition);

// The error handler of the modules one injection made; injected holds those modules, in the
// order they run. The configuration may hold modules of the same names (or a second prompt
// inject them again): a handler works on its own modules by identity, never by name.
using InjectedErrorHandler =
    std::function<int(IModule* failed, const std::vector<IModule*>& injected)>;

// A prompt module that can inject modules into its own stage.
class CPromptModule : public CBasicModule {
 protected:
  // Injects the modules so that the stage runs them next, in the order given, each with the
  // error handler (none when it is empty). Every snippet is parsed and every module created
  // before the first is inserted, so a failure leaves the stage as it was: -1 when a snippet
  // does not parse, names no module class, or this module is not in a stage.
  int InjectModules(const std::vector<InjectedModule>& modules,
                    const InjectedErrorHandler& handler);
};

// The .NET modules' handler: the failure stands.
int AlwaysFail(IModule* failed);

// The graphics modules' handler: asks whether to go on without the driver; on "Yes" withdraws
// a pending cancellation and removes the GPU_INSTALLER of its own injection from the stage
// (also when it is the failed module), and the stage goes on.
int GpuFailureHandler(IModule* failed, CStage* stage, const std::vector<IModule*>& injected);

}  // namespace orvex
