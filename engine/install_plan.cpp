#include "engine/install_plan.h"

#include "common/run_flags.h"
#include "engine/module.h"
#include "engine/progress.h"
#include "engine/stage.h"

namespace orvex {

namespace {
InstallReportHook& ReportHook() {
  static InstallReportHook hook;
  return hook;
}
}  // namespace

CInstallPlan::CInstallPlan() = default;

// Stages (and with them their modules) go first: they point at the indicators and handlers.
CInstallPlan::~CInstallPlan() { stages.clear(); }

void CInstallPlan::Adopt(std::unique_ptr<IProgressIndicator> indicator) {
  if (indicator) indicators_.push_back(std::move(indicator));
}

void CInstallPlan::Adopt(std::unique_ptr<ICallbackHandler> handler) {
  if (handler) handlers_.push_back(std::move(handler));
}

int CInstallPlan::Rollback(std::string failedStage) {
  bool passedFailed = failedStage.empty();
  for (auto it = stages.rbegin(); it != stages.rend(); ++it) {
    if (!passedFailed) {
      passedFailed = (*it)->GetName() == failedStage;
      continue;
    }
    if ((*it)->Rollback(&doc) != 0) return -1;
  }
  return 0;
}

void SetInstallReportHook(InstallReportHook hook) { ReportHook() = std::move(hook); }

void SendInstallReport(bool success, Json::Value document, Json::Value failedStage) {
  if (ReportHook()) ReportHook()(success, std::move(document), std::move(failedStage));
}

int RunPlan() {
  CInstallPlan* plan = g_plan;
  if (!plan) return -1;
  const int count = static_cast<int>(plan->stages.size());
  for (int i = 0; i < count; ++i) {
    CStage* stage = plan->stages[i].get();
    if (plan->defaultProgress) plan->defaultProgress->SetStep(i + 1, count);
    stage->SetPlan(plan);
    if (stage->Execute(&plan->doc) == 0) continue;

    std::string stageName = stage->GetName();
    plan->Rollback(stageName);
    std::string text = plan->abortMessage.empty() ? "Installation aborted" : plan->abortMessage;
    if (plan->defaultProgress) plan->defaultProgress->SetStatus(text);
    SendInstallReport(false, plan->doc, plan->doc[stageName]);
    return -1;
  }
  SendInstallReport(true, plan->doc, Json::Value(0));
  return 0;
}

}  // namespace orvex
