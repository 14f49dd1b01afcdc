#include "common/run_flags.h"

#include <chrono>
#include <thread>

namespace orvex {

std::atomic<bool> g_promptActive{false};
std::atomic<bool> g_cancelRequested{false};
CInstallPlan* g_plan = nullptr;

void WaitWhilePromptActive() {
  while (g_promptActive.load()) std::this_thread::sleep_for(std::chrono::milliseconds(500));
}

}  // namespace orvex
