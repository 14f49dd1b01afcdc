#pragma once
// The module contract. A module is one unit of installer work; every module class derives
// from CBasicModule and overrides Execute. Execute returns 0 on success and -1 on failure,
// after writing "status", "reason" and "error" into its result record doc[stage][name].

#include <json/json.h>

#include <string>

namespace orvex {

class CInstallPlan;
class CStage;
class IProgressIndicator;

class IModule {
 public:
  virtual ~IModule() = default;
  virtual void SetName(std::string name) = 0;
  virtual void SetArgs(const Json::Value& args) = 0;
  virtual void SetMessage(std::string message) = 0;
  virtual std::string GetMessage() = 0;
  virtual std::string GetName() = 0;
  virtual int Init(CInstallPlan* plan, CStage* stage) = 0;
  virtual int Reserved() = 0;
  virtual int Execute(Json::Value& doc) = 0;
  virtual int Rollback(Json::Value& doc) = 0;
  virtual void SetProgressIndicator(IProgressIndicator* indicator) = 0;
  virtual IProgressIndicator* GetProgressIndicator() = 0;
};

class CBasicModule : public IModule {
 public:
  void SetName(std::string value) override { name = std::move(value); }
  void SetArgs(const Json::Value& value) override { args = value; }
  void SetMessage(std::string text) override { message = std::move(text); }
  std::string GetMessage() override { return message; }
  std::string GetName() override { return name; }
  int Init(CInstallPlan* owner, CStage* owningStage) override;
  int Reserved() override { return 0; }
  int Execute(Json::Value&) override { return 0; }
  int Rollback(Json::Value&) override { return 0; }
  void SetProgressIndicator(IProgressIndicator* indicator) override { progress = indicator; }
  IProgressIndicator* GetProgressIndicator() override { return progress; }

 protected:
  // The module's result record, doc[stage name][module name], created on first use.
  Json::Value& Record(Json::Value& doc);
  // Writes "status", "reason" and "error" (an empty code is left out) into the record.
  void RecordResult(Json::Value& doc, const std::string& status, const std::string& reason,
                    const std::string& error);

  std::string name;
  Json::Value args;
  CInstallPlan* plan = nullptr;
  CStage* stage = nullptr;
  IProgressIndicator* progress = nullptr;
  std::string message;
};

}  // namespace orvex
