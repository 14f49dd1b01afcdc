#pragma once
// Flags through which the window's thread pauses and cancels the installer session.

#include <atomic>

namespace orvex {

class CInstallPlan;

// True while the window asks whether to stop; the stage and long transfers wait meanwhile.
extern std::atomic<bool> g_promptActive;
// Set when the user confirmed stopping; the stage cancels before its next module.
extern std::atomic<bool> g_cancelRequested;
// The plan of the current run, set by the installer session before it runs the plan.
extern CInstallPlan* g_plan;

// Sleeps in 500 ms steps while g_promptActive is set.
void WaitWhilePromptActive();

}  // namespace orvex
