#include "common/session_cells.h"

namespace orvex {

std::atomic<bool> g_sessionFinished{false};
std::atomic<bool> g_installCompleted{false};

namespace {
std::atomic<CancelButtonHook> g_cancelButtonHook{nullptr};
}  // namespace

void SetCancelButtonHook(CancelButtonHook hook) { g_cancelButtonHook.store(hook); }

void EnableMainDialogCancel(bool enabled) {
  if (CancelButtonHook hook = g_cancelButtonHook.load()) hook(enabled);
}

}  // namespace orvex
