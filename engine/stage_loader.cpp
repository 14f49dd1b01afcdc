#include "engine/stage_loader.h"

#include <memory>

#include "base/json_text.h"
#include "engine/conditions.h"
#include "engine/install_plan.h"
#include "engine/module.h"
#include "engine/module_registry.h"
#include "engine/placeholders.h"
#include "engine/progress_factories.h"
#include "engine/stage.h"
#include "engine/whole_match.h"

namespace orvex {

namespace {

template <class Table, class Entry>
void RegisterFirst(Table& table, const std::string& name, Entry entry) {
  table.emplace(name, entry);  // a name already registered keeps its first entry
}

template <class Table>
auto Lookup(const Table& table, const std::string& name) -> typename Table::mapped_type {
  auto it = table.find(name);
  return it == table.end() ? nullptr : it->second;
}

}  // namespace

bool CStageLoader::FilterHolds(const Json::Value& definition) {
  const Json::Value& only = Member(definition, "only");
  if (only.isArray() && !only.empty())
    throw Json::LogicError("Type is not convertible to string");  // index keys have no names
  if (!only.isObject()) return true;
  for (const std::string& name : only.getMemberNames()) {
    // Looking a variable up adds it, as null, when it is missing.
    if (JsonText(variables_[name]) != JsonText(only[name])) return false;
  }
  return true;
}

IProgressIndicator* CStageLoader::FindIndicator(const std::string& name) const {
  return Lookup(indicators_, name);
}

ICallbackHandler* CStageLoader::FindCallback(const std::string& name) const {
  return Lookup(callbacks_, name);
}

IModule* CStageLoader::CreateModule(const Json::Value& definition, CStage* stage) {
  if (!FilterHolds(definition)) return nullptr;
  std::string name = JsonText(Member(definition, "name"));
  std::string className = JsonText(Member(definition, "class"));
  const Json::Value& args = Member(definition, "args");
  std::string message = JsonText(Member(definition, "msg"));
  if (className == "end_module") return nullptr;

  // Held until returned: reading "progress" below may raise the type error.
  std::unique_ptr<IModule> module(CreateModuleByClass(className));
  if (!module) return nullptr;
  module->SetName(name);
  module->SetArgs(args);
  module->SetMessage(message);

  IProgressIndicator* indicator = nullptr;
  const Json::Value& progress = Member(definition, "progress");
  if (!progress.isNull()) indicator = FindIndicator(JsonText(progress));
  if (!indicator && stage) indicator = stage->GetProgressIndicator();
  module->SetProgressIndicator(indicator);
  return module.release();
}

void CStageLoader::DeclareIndicators(const Json::Value& definitions, CInstallPlan& plan) {
  ForEachElement(definitions, [&](const Json::Value& definition) {
    if (!FilterHolds(definition)) return;
    IProgressIndicator* indicator = CreateProgressIndicator(JsonText(Member(definition, "class")));
    if (!indicator) return;
    if (indicator != g_dialogIndicator) plan.Adopt(std::unique_ptr<IProgressIndicator>(indicator));
    indicator->SetName(JsonText(Member(definition, "name")));
    RegisterFirst(indicators_, indicator->GetName(), indicator);
  });
}

void CStageLoader::DeclareCallbacks(const Json::Value& definitions, CInstallPlan& plan) {
  ForEachElement(definitions, [&](const Json::Value& definition) {
    if (!FilterHolds(definition)) return;
    ICallbackHandler* handler = CreateCallbackHandler(JsonText(Member(definition, "class")));
    if (!handler) return;
    if (handler != g_dialogCallback) plan.Adopt(std::unique_ptr<ICallbackHandler>(handler));
    handler->SetName(JsonText(Member(definition, "name")));
    RegisterFirst(callbacks_, handler->GetName(), handler);
  });
}

// Whether the stage's "on" condition, if any, holds. A regular expression there that cannot be
// matched makes the whole configuration unusable: the plan would not be the one it describes.
bool CStageLoader::StageWanted(const Json::Value& definition, std::string* invalidPattern) {
  const Json::Value& on = Member(definition, "on");
  if (on.isNull()) return true;
  try {
    return EvaluateCondition(on, variables_);
  } catch (const InvalidPattern& fault) {
    const Json::Value& name = Member(definition, "name");
    *invalidPattern = "The \"on\" condition of stage \"" +
                      (name.isString() ? name.asString() : std::string()) + "\": " + fault.what();
    return false;
  }
}

CStage* CStageLoader::LoadStage(const Json::Value& definition, CInstallPlan& plan,
                                std::string* invalidPattern) {
  if (!StageWanted(definition, invalidPattern)) return nullptr;

  auto stage = std::make_unique<CStage>(JsonText(Member(definition, "name")));
  stage->SetPlan(&plan);
  ForEachElement(Member(definition, "modules"), [&](const Json::Value& moduleDefinition) {
    stage->AddModule(CreateModule(moduleDefinition, stage.get()));
  });
  const Json::Value& message = Member(definition, "msg");
  if (message.isString()) stage->SetMessage(message.asString());

  IProgressIndicator* indicator = nullptr;
  const Json::Value& progress = Member(definition, "progress");
  if (!progress.isNull()) indicator = FindIndicator(JsonText(progress));
  stage->SetProgressIndicator(indicator ? indicator : plan.defaultProgress);

  const Json::Value& callback = Member(definition, "callback");
  stage->SetCallbackHandler(FindCallback(callback.isNull() ? "Default" : JsonText(callback)));

  CStage* result = stage.get();
  plan.stages.push_back(std::move(stage));
  return result;
}

CInstallPlan* CStageLoader::Load(std::string text, std::string* errorText) {
  // Notepad starts a UTF-8 file with a byte-order mark, which the JSON reader refuses.
  static const char kByteOrderMark[] = "\xEF\xBB\xBF";
  if (text.compare(0, 3, kByteOrderMark) == 0) text.erase(0, 3);
  Json::Value config;
  if (!ParseJson(ReplacePlaceholders(std::move(text), variables_), config, errorText))
    return nullptr;

  auto plan = std::make_unique<CInstallPlan>();
  DeclareIndicators(Member(config, "ProgressIndicators"), *plan);
  DeclareCallbacks(Member(config, "Callbacks"), *plan);
  const Json::Value& progress = Member(config, "progress");
  if (!progress.isNull()) plan->defaultProgress = FindIndicator(JsonText(progress));
  std::string invalidPattern;
  ForEachElement(Member(config, "Stages"), [&](const Json::Value& definition) {
    if (invalidPattern.empty()) LoadStage(definition, *plan, &invalidPattern);
  });
  if (!invalidPattern.empty()) {
    if (errorText) *errorText = invalidPattern;
    return nullptr;
  }
  plan->doc["env"] = variables_;
  return plan.release();
}

}  // namespace orvex
