#pragma once
// Flags through which the window's thread pauses and cancels the installer session.

#include <atomic>

namespace orvex {

class CInstallPlan;

// True while the window asks whether to stop; the stage and long transfers wait meanwhile.
extern std::atomic<bool> g_promptActive;
// Set when the user confirmed stopping; the stage cancels before its next module.
extern std::atomic<bool> g_cancelRequested;
// The plan of the current run (RunPlan runs it; the crash report writes its document), or
// null. Read-only: only a PlanRegistration sets it, and clears it when it ends, so it never
// points at a plan that is gone.
extern CInstallPlan* const& g_plan;

// Makes a plan g_plan for as long as the registration lives; the plan must outlive it (declare
// the registration after the plan's owner, so that it ends first). Moving hands the
// registration on; ending it clears g_plan if g_plan is still its plan.
class PlanRegistration {
 public:
  PlanRegistration() = default;
  explicit PlanRegistration(CInstallPlan* plan);
  ~PlanRegistration();
  PlanRegistration(PlanRegistration&& other) noexcept;
  PlanRegistration& operator=(PlanRegistration&& other) noexcept;
  PlanRegistration(const PlanRegistration&) = delete;
  PlanRegistration& operator=(const PlanRegistration&) = delete;

  // Leaves g_plan set for the rest of the process, for a plan that is never destroyed.
  void KeepForProcess() { plan_ = nullptr; }

 private:
  void Clear();

  CInstallPlan* plan_ = nullptr;
};

// Sleeps in 500 ms steps while g_promptActive is set.
void WaitWhilePromptActive();

}  // namespace orvex
