#pragma once
// What the installer session tells the window: that it has nothing more to run, and whether
// the installation completed ("LastStage" reached "completed").

#include <atomic>

namespace orvex {

extern std::atomic<bool> g_sessionFinished;
extern std::atomic<bool> g_installCompleted;

}  // namespace orvex
