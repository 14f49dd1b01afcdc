#include "prompts/module_injection.h"

#include <algorithm>
#include <memory>

#include "base/text.h"
#include "common/run_flags.h"
#include "engine/placeholders.h"
#include "engine/progress.h"
#include "engine/stage_loader.h"
#include "prompts/prompt_reads.h"

namespace orvex {

namespace {

// The placeholder is replaced in the parsed definition's argument texts, not in the snippet
// text: an address with a quote or a backslash then stays one text and cannot change the
// definition around it.
void ReplaceInArguments(Json::Value& definition, const InjectedModule& module) {
  if (module.placeholder.empty() || !definition["args"].isObject()) return;
  Json::Value& args = definition["args"];
  for (const std::string& key : args.getMemberNames()) {
    if (!args[key].isString()) continue;
    std::string text = args[key].asString();
    args[key] = ReplaceAll(text, module.placeholder, module.replacement);
  }
}

}  // namespace

bool InjectedDefinition(const InjectedModule& module, Json::Value* definition) {
  Json::Value parsed;
  if (!ParseSnippet(module.snippet, parsed) || !parsed.isObject()) return false;
  ReplaceInArguments(parsed, module);
  *definition = std::move(parsed);
  return true;
}

int CPromptModule::InjectModules(const std::vector<InjectedModule>& modules,
                                 const InjectedErrorHandler& handler) {
  if (!stage) return -1;
  const std::vector<IModule*> present = stage->GetModules();
  if (std::find(present.begin(), present.end(), this) == present.end()) return -1;

  std::vector<std::unique_ptr<IModule>> created;
  for (const InjectedModule& module : modules) {
    Json::Value definition;
    if (!InjectedDefinition(module, &definition)) return -1;
    // A fresh loader: no session variables and no named indicators, so the module takes the
    // stage's indicator.
    CStageLoader loader;
    std::unique_ptr<IModule> made(loader.CreateModule(definition, stage));
    if (!made) return -1;
    created.push_back(std::move(made));
  }
  std::vector<IModule*> injected;
  for (const std::unique_ptr<IModule>& module : created) injected.push_back(module.get());
  // Each goes directly after this module, so the last to run is inserted first.
  for (auto it = created.rbegin(); it != created.rend(); ++it) {
    IModule* module = it->release();
    module->Init(plan, stage);
    stage->InsertModuleAfter(this, module);
    if (handler)
      stage->SetErrorHandler(
          module, [handler, injected](IModule* failed) { return handler(failed, injected); });
  }
  return 0;
}

int AlwaysFail(IModule*) { return -1; }

int GpuFailureHandler(IModule* failed, CStage* stage, const std::vector<IModule*>& injected) {
  if (Ask(failed ? failed->GetProgressIndicator() : nullptr,
          "Graphics Driver install failed. Do you want to continue installing Orvex?", "Yes", "No",
          "Don't worry we will prompt again when Orvex starts.", 0) != 1)
    return -1;
  g_cancelRequested = false;
  // No driver installation after a failed address query or download.
  for (IModule* module : injected)
    if (stage && module->GetName() == "GPU_INSTALLER") stage->RemoveModule(module);
  return 0;
}

}  // namespace orvex
