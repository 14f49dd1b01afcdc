#include "engine/stage.h"

#include <algorithm>

#include "common/run_flags.h"
#include "engine/module.h"
#include "engine/progress.h"

namespace orvex {

CStage::CStage(std::string name) : name_(std::move(name)) {}

CStage::~CStage() = default;

int CStage::SetPlan(CInstallPlan* plan) {
  plan_ = plan;
  return 0;
}

void CStage::Adopt(IModule* module) {
  for (const auto& owned : owned_)
    if (owned.get() == module) return;
  owned_.emplace_back(module);
}

void CStage::Insert(ModuleList::iterator position, IModule* module) {
  if (!module) return;
  Adopt(module);
  modules_.insert(position, module);
}

CStage::ModuleList::iterator CStage::FindByName(const std::string& name) {
  return std::find_if(modules_.begin(), modules_.end(),
                      [&](IModule* m) { return m->GetName() == name; });
}

CStage::ModuleList::iterator CStage::FindByPointer(IModule* module) {
  return std::find(modules_.begin(), modules_.end(), module);
}

void CStage::AddModule(IModule* module) { Insert(modules_.end(), module); }

void CStage::InsertModuleAfter(IModule* existing, IModule* module) {
  auto it = FindByPointer(existing);
  if (it != modules_.end()) Insert(std::next(it), module);
}

void CStage::InsertModuleAfter(std::string existingName, IModule* module) {
  auto it = FindByName(existingName);
  if (it != modules_.end()) Insert(std::next(it), module);
}

void CStage::InsertModuleBefore(IModule* existing, IModule* module) {
  auto it = FindByPointer(existing);
  if (it != modules_.end()) Insert(it, module);
}

void CStage::InsertModuleBefore(std::string existingName, IModule* module) {
  auto it = FindByName(existingName);
  if (it != modules_.end()) Insert(it, module);
}

void CStage::Unlink(ModuleList::iterator it) {
  if (it == modules_.end()) return;
  if (running_ && it == cursor_) {
    cursor_ = modules_.erase(it);
    cursorMovedOn_ = true;
  } else {
    modules_.erase(it);
  }
}

void CStage::RemoveModule(std::string name) { Unlink(FindByName(name)); }

void CStage::RemoveModule(IModule* module) { Unlink(FindByPointer(module)); }

void CStage::SetErrorHandlerAt(ModuleList::iterator it, ModuleErrorHandler handler) {
  if (it == modules_.end()) return;
  if (handler)
    errorHandlers_[*it] = std::move(handler);
  else
    errorHandlers_.erase(*it);
}

void CStage::SetErrorHandler(std::string moduleName, ModuleErrorHandler handler) {
  SetErrorHandlerAt(FindByName(moduleName), std::move(handler));
}

void CStage::SetErrorHandler(IModule* module, ModuleErrorHandler handler) {
  SetErrorHandlerAt(FindByPointer(module), std::move(handler));
}

void CStage::SetProgressIndicator(IProgressIndicator* indicator) {
  progress_ = indicator;
  for (IModule* module : modules_)
    if (!module->GetProgressIndicator()) module->SetProgressIndicator(indicator);
}

IProgressIndicator* CStage::GetProgressIndicator() { return progress_; }

void CStage::SetCallbackHandler(ICallbackHandler* handler) { callback_ = handler; }

ICallbackHandler* CStage::GetCallbackHandler() { return callback_; }

std::vector<IModule*> CStage::GetModules() const {
  return std::vector<IModule*>(modules_.begin(), modules_.end());
}

Json::Value& CStage::Status(Json::Value& doc) { return doc[name_]["status"]; }

int CStage::Execute(Json::Value* docPointer) {
  Json::Value& doc = *docPointer;
  if (progress_) progress_->SetStatus(message_);
  doc[name_] = Json::Value(Json::objectValue);
  doc[name_]["status"] = Json::Value(Json::objectValue);
  Status(doc)["progress"] = "started";

  if (InitModules(doc) != 0) return -1;
  if (RunModules(doc) != 0) return -1;

  Status(doc)["progress"] = "completed";
  if (callback_) callback_->OnStageDone(&doc, name_);
  if (progress_) progress_->HideProgressBar();
  return 0;
}

int CStage::InitModules(Json::Value& doc) {
  // Walks a snapshot of the list, so an Init that changed it could not upset the walk.
  for (IModule* module : GetModules()) {
    if (module->Init(plan_, this) == 0) continue;
    std::string moduleName = module->GetName();
    Status(doc)["progress"] = "module_init_failed";
    Status(doc)["module"] = moduleName;
    ResultRecord(doc, name_, moduleName)["error"] = "INIT_FAILED";
    return -1;
  }
  return 0;
}

int CStage::RunModules(Json::Value& doc) {
  running_ = true;
  int result = 0;
  for (cursor_ = modules_.begin(); cursor_ != modules_.end();) {
    IModule* module = *cursor_;
    cursorMovedOn_ = false;

    std::string moduleMessage = module->GetMessage();
    if (progress_ && !moduleMessage.empty()) progress_->SetStatus(moduleMessage);
    WaitWhilePromptActive();
    if (g_cancelRequested.load()) {
      result = Cancel(doc, module);
      break;
    }
    if (module->Execute(doc) != 0 && !ContinueAfterFailure(doc, module)) {
      result = -1;
      break;
    }
    // RemoveModule already moved the cursor on when it unlinked the running module.
    if (!cursorMovedOn_) ++cursor_;
  }
  running_ = false;
  return result;
}

bool CStage::ContinueAfterFailure(Json::Value& doc, IModule* module) {
  auto handler = errorHandlers_.find(module);
  if (handler != errorHandlers_.end()) {
    // Copied: the handler may replace or clear its own registration.
    ModuleErrorHandler accept = handler->second;
    if (accept(module) == 0) return true;
  }
  std::string moduleName = module->GetName();
  Status(doc)["progress"] = "process_module_failed";
  Status(doc)["module"] = moduleName;
  if (callback_ && callback_->OnModuleFailed(&doc, name_, moduleName) == 0) return true;

  if (progress_) {
    progress_->HideProgressBar();
    progress_->SetStatus("Discontinuing installation");
  }
  RollbackBefore(doc, moduleName);
  return false;
}

int CStage::Cancel(Json::Value& doc, IModule* module) {
  std::string moduleName = module->GetName();
  Status(doc)["progress"] = "canceled_due_to_user";
  Status(doc)["module"] = moduleName;
  ResultRecord(doc, name_, moduleName)["error"] = "USER_CANCELED";
  RollbackBefore(doc, moduleName);
  return -1;
}

int CStage::RollbackBefore(Json::Value& doc, const std::string& failedName) {
  bool passedFailed = failedName.empty();
  for (auto it = modules_.rbegin(); it != modules_.rend(); ++it) {
    if (!passedFailed) {
      passedFailed = (*it)->GetName() == failedName;
      continue;
    }
    if ((*it)->Rollback(doc) != 0) return -1;
  }
  return 0;
}

int CStage::Rollback(Json::Value* doc) { return RollbackBefore(*doc, std::string()); }

}  // namespace orvex
