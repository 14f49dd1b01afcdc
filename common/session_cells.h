#pragma once
// What the installer session tells the window: that it has nothing more to run, and whether
// the installation completed ("LastStage" reached "completed").

#include <atomic>

namespace orvex {

extern std::atomic<bool> g_sessionFinished;
extern std::atomic<bool> g_installCompleted;

// The main dialog's Cancel button (control 2 of g_mainDialog), which modules disable and
// enable again around work that must not be interrupted. The window installs the hook that
// does it when it starts; without a window (console installer, tests) nothing happens.
using CancelButtonHook = void (*)(bool enabled);
void SetCancelButtonHook(CancelButtonHook hook);
void EnableMainDialogCancel(bool enabled);

}  // namespace orvex
