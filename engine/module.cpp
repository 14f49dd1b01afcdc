#include "engine/module.h"

#include "engine/stage.h"

namespace orvex {

int CBasicModule::Init(CInstallPlan* owner, CStage* owningStage) {
  plan = owner;
  stage = owningStage;
  return 0;
}

Json::Value& CBasicModule::Record(Json::Value& doc) {
  std::string stageName = stage ? stage->GetName() : std::string();
  return doc[stageName][name];
}

void CBasicModule::RecordResult(Json::Value& doc, const std::string& status,
                                const std::string& reason, const std::string& error) {
  Json::Value& record = Record(doc);
  record["status"] = status;
  record["reason"] = reason;
  if (!error.empty()) record["error"] = error;
}

}  // namespace orvex
