#include "engine/module.h"

#include <vector>

#include "engine/stage.h"

namespace orvex {

int CBasicModule::Init(CInstallPlan* owner, CStage* owningStage) {
  plan = owner;
  stage = owningStage;
  return 0;
}

Json::Value& ResultRecord(Json::Value& doc, const std::string& stageName,
                          const std::string& moduleName) {
  Json::Value& record = doc[stageName][moduleName];
  if (!record.isNull() && !record.isObject()) record = Json::Value(Json::objectValue);
  return record;
}

Json::Value& CBasicModule::Record(Json::Value& doc) {
  return ResultRecord(doc, stage ? stage->GetName() : std::string(), name);
}

void CBasicModule::RecordResult(Json::Value& doc, const std::string& status,
                                const std::string& reason, const std::string& error) {
  Json::Value& record = Record(doc);
  record["status"] = status;
  record["reason"] = reason;
  if (!error.empty()) record["error"] = error;
}

bool CBasicModule::MayStore(const Json::Value& doc, const Json::Value* target,
                            const Json::Value& value) {
  if (!target) return false;
  if (value.isObject()) return true;
  if (target == &doc) return false;
  if (!stage || !doc.isObject()) return true;
  const std::string& stageName = stage->GetName();
  const Json::Value* record = doc.find(stageName.data(), stageName.data() + stageName.size());
  if (!record) return true;
  if (target == record) return false;
  if (!record->isObject()) return true;
  std::vector<std::string> kept = {"status", name};
  for (IModule* module : stage->GetModules()) kept.push_back(module->GetName());
  for (const std::string& member : kept)
    if (target == record->find(member.data(), member.data() + member.size())) return false;
  return true;
}

bool CBasicModule::Store(Json::Value& doc, Json::Value* target, Json::Value value,
                         const std::string& path) {
  if (!MayStore(doc, target, value)) {
    RecordResult(doc, "failed", "Not able to store a value at " + path, "PATH_NOT_WRITABLE");
    return false;
  }
  *target = std::move(value);
  return true;
}

}  // namespace orvex
