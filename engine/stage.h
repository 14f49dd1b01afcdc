#pragma once
// A stage: an ordered list of modules run one after another, with its record in the session
// document, per-module error handlers, a callback handler and rollback of what ran before a
// failure. Modules may be inserted or removed while the stage runs.

#include <json/json.h>

#include <functional>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace orvex {

class CInstallPlan;
class ICallbackHandler;
class IModule;
class IProgressIndicator;

// Called when its module fails; 0 accepts the failure and the stage treats the module as
// successful.
using ModuleErrorHandler = std::function<int(IModule* failed)>;

class CStage {
 public:
  explicit CStage(std::string name);
  virtual ~CStage();
  CStage(const CStage&) = delete;
  CStage& operator=(const CStage&) = delete;

  virtual int SetPlan(CInstallPlan* plan);
  // The stage owns every module given to it, including ones later removed from its list.
  virtual void AddModule(IModule* module);
  virtual void InsertModuleAfter(IModule* existing, IModule* module);
  virtual void InsertModuleAfter(std::string existingName, IModule* module);
  virtual void InsertModuleBefore(IModule* existing, IModule* module);
  virtual void InsertModuleBefore(std::string existingName, IModule* module);
  // Unlinks the first module with that name; it is not destroyed. When it is the running
  // module, the stage continues with the module that followed it.
  virtual void RemoveModule(std::string name);
  // The same for that very module, whatever other modules share its name.
  virtual void RemoveModule(IModule* module);
  // 0 when every module completed; -1 when the stage failed or was cancelled.
  virtual int Execute(Json::Value* doc);
  // Rolls back every module, last to first; -1 at the first one that fails.
  virtual int Rollback(Json::Value* doc);
  virtual void SetErrorHandler(std::string moduleName, ModuleErrorHandler handler);
  virtual void SetErrorHandler(IModule* module, ModuleErrorHandler handler);
  virtual void SetProgressIndicator(IProgressIndicator* indicator);
  virtual IProgressIndicator* GetProgressIndicator();
  virtual void SetCallbackHandler(ICallbackHandler* handler);
  virtual ICallbackHandler* GetCallbackHandler();

  std::string GetName() const { return name_; }
  void SetMessage(std::string message) { message_ = std::move(message); }
  std::string GetMessage() const { return message_; }
  // The modules in their current order.
  std::vector<IModule*> GetModules() const;

 private:
  using ModuleList = std::list<IModule*>;

  ModuleList::iterator FindByName(const std::string& name);
  ModuleList::iterator FindByPointer(IModule* module);
  void Unlink(ModuleList::iterator it);
  void SetErrorHandlerAt(ModuleList::iterator it, ModuleErrorHandler handler);
  void Adopt(IModule* module);
  void Insert(ModuleList::iterator position, IModule* module);
  int InitModules(Json::Value& doc);
  // Runs the modules in list order. Returns 0 at the end of the list, -1 when discontinued.
  int RunModules(Json::Value& doc);
  // Handles a failed module; true when the stage goes on.
  bool ContinueAfterFailure(Json::Value& doc, IModule* module);
  int Cancel(Json::Value& doc, IModule* module);
  // Rolls back the modules that stand before the one named failedName, nearest first;
  // an empty name rolls back every module.
  int RollbackBefore(Json::Value& doc, const std::string& failedName);
  Json::Value& Status(Json::Value& doc);

  std::string name_;
  std::string message_;
  CInstallPlan* plan_ = nullptr;
  IProgressIndicator* progress_ = nullptr;
  ICallbackHandler* callback_ = nullptr;
  ModuleList modules_;
  std::vector<std::unique_ptr<IModule>> owned_;
  std::map<IModule*, ModuleErrorHandler> errorHandlers_;
  // The running module's place while Execute walks the list.
  bool running_ = false;
  ModuleList::iterator cursor_;
  bool cursorMovedOn_ = false;
};

}  // namespace orvex
