#pragma once
// The plan of one installer run: its stages, the session document, the default progress
// indicator and the abort message, and the plan runner.

#include <json/json.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace orvex {

class CStage;
class ICallbackHandler;
class IProgressIndicator;

class CInstallPlan {
 public:
  CInstallPlan();
  ~CInstallPlan();
  CInstallPlan(const CInstallPlan&) = delete;
  CInstallPlan& operator=(const CInstallPlan&) = delete;

  // Rolls back the stages before the one named failedStage, nearest first ("" rolls back
  // every stage). -1 at the first stage whose rollback fails.
  int Rollback(std::string failedStage);

  // Indicators and handlers created for this plan live as long as it does.
  void Adopt(std::unique_ptr<IProgressIndicator> indicator);
  void Adopt(std::unique_ptr<ICallbackHandler> handler);

  IProgressIndicator* defaultProgress = nullptr;
  std::vector<std::unique_ptr<CStage>> stages;
  Json::Value doc;
  std::string abortMessage;

 private:
  std::vector<std::unique_ptr<IProgressIndicator>> indicators_;
  std::vector<std::unique_ptr<ICallbackHandler>> handlers_;
};

// Receives the outcome of a run: (success, document, failed stage's record or integer 0).
using InstallReportHook =
    std::function<void(bool success, Json::Value document, Json::Value failedStage)>;

// The installation report is sent through this hook; without one the outcome goes nowhere.
void SetInstallReportHook(InstallReportHook hook);
void SendInstallReport(bool success, Json::Value document, Json::Value failedStage);

// Runs g_plan's stages in order. 0 when every stage completed, -1 otherwise (also when there
// is no plan).
int RunPlan();

}  // namespace orvex
