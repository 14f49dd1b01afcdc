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

// The result record of module moduleName in stage stageName, doc[stage][module], created on
// first use (doc and the stage's record must be objects or null). A path argument looked up
// with creation ("[0]" after a record's name) may have made a record that did not exist yet an
// array; the record is the run's, not a place for values, so it becomes an object again
// rather than end the run on the next write. Never anything but null or an object.
Json::Value& ResultRecord(Json::Value& doc, const std::string& stageName,
                          const std::string& moduleName);

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
  // The module's result record (ResultRecord of its stage and name).
  Json::Value& Record(Json::Value& doc);
  // Writes "status", "reason" and "error" (an empty code is left out) into the record.
  void RecordResult(Json::Value& doc, const std::string& status, const std::string& reason,
                    const std::string& error);

  // Whether value may replace target (a node of doc; null when its path ran into a value
  // that holds no members). Only an object may replace the document root, the running
  // stage's record, its "status" or the record of one of its modules: the stage and its
  // modules keep writing members into those, and a scalar there would make that throw.
  bool MayStore(const Json::Value& doc, const Json::Value* target, const Json::Value& value);
  // Stores value at target after MayStore; otherwise records "failed" / "Not able to store a
  // value at " + path / "PATH_NOT_WRITABLE" and leaves the document as it is.
  bool Store(Json::Value& doc, Json::Value* target, Json::Value value, const std::string& path);

  std::string name;
  Json::Value args;
  CInstallPlan* plan = nullptr;
  CStage* stage = nullptr;
  IProgressIndicator* progress = nullptr;
  std::string message;
};

}  // namespace orvex
