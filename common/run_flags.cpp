#include "common/run_flags.h"

#include <chrono>
#include <thread>

namespace orvex {

std::atomic<bool> g_promptActive{false};
std::atomic<bool> g_cancelRequested{false};
namespace {
CInstallPlan* registeredPlan = nullptr;
}  // namespace

CInstallPlan* const& g_plan = registeredPlan;

PlanRegistration::PlanRegistration(CInstallPlan* plan) : plan_(plan) { registeredPlan = plan; }

PlanRegistration::~PlanRegistration() { Clear(); }

PlanRegistration::PlanRegistration(PlanRegistration&& other) noexcept : plan_(other.plan_) {
  other.plan_ = nullptr;
}

PlanRegistration& PlanRegistration::operator=(PlanRegistration&& other) noexcept {
  if (this != &other) {
    Clear();
    plan_ = other.plan_;
    other.plan_ = nullptr;
    if (plan_) registeredPlan = plan_;
  }
  return *this;
}

void PlanRegistration::Clear() {
  if (plan_ && registeredPlan == plan_) registeredPlan = nullptr;
  plan_ = nullptr;
}

void WaitWhilePromptActive() {
  while (g_promptActive.load()) std::this_thread::sleep_for(std::chrono::milliseconds(500));
}

}  // namespace orvex
