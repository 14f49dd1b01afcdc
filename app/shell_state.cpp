#include "app/shell_state.h"

namespace orvex {

std::atomic<bool> g_sessionFinished{false};
std::atomic<bool> g_installCompleted{false};

}  // namespace orvex
