#pragma once
// Turns a configuration text into a plan: placeholders replaced, progress indicators and
// callback handlers declared, stages filtered by their "on" conditions, modules created
// through the registry.

#include <json/json.h>

#include <map>
#include <string>

namespace orvex {

class CInstallPlan;
class CStage;
class ICallbackHandler;
class IModule;
class IProgressIndicator;

class CStageLoader {
 public:
  // The session variables: names to strings, booleans or integers. Used for placeholders,
  // "only" filters and stage "on" conditions, and copied into the document's "env".
  Json::Value& SessionVariables() { return variables_; }

  // The plan for text, or null when the text (after placeholder replacement) is not JSON or a
  // stage's "on" condition holds a regular expression that cannot be matched. errorText, when
  // given, receives the parser's message or the pattern's fault. The caller owns the plan.
  CInstallPlan* Load(std::string text, std::string* errorText = nullptr);

  // A module from its definition, or null when its "only" filter does not hold, its class is
  // "end_module" or names no module class. Init is not called.
  IModule* CreateModule(const Json::Value& definition, CStage* stage);

  IProgressIndicator* FindIndicator(const std::string& name) const;
  ICallbackHandler* FindCallback(const std::string& name) const;

 private:
  bool FilterHolds(const Json::Value& definition);
  void DeclareIndicators(const Json::Value& definitions, CInstallPlan& plan);
  void DeclareCallbacks(const Json::Value& definitions, CInstallPlan& plan);
  bool StageWanted(const Json::Value& definition, std::string* invalidPattern);
  CStage* LoadStage(const Json::Value& definition, CInstallPlan& plan, std::string* invalidPattern);

  Json::Value variables_{Json::objectValue};
  std::map<std::string, IProgressIndicator*> indicators_;
  std::map<std::string, ICallbackHandler*> callbacks_;
};

}  // namespace orvex
