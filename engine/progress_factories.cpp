#include "engine/progress_factories.h"

#include "engine/console_progress.h"

namespace orvex {

IProgressIndicator* CreateProgressIndicator(std::string className) {
  if (className == "PIConsole") return new CConsolePI();
  if (className == "PIDialog") return g_dialogIndicator;
  return nullptr;
}

ICallbackHandler* CreateCallbackHandler(std::string className) {
  if (className == "CBDefault") return new CDefaultCB();
  if (className == "CBDialog") return g_dialogCallback;
  return nullptr;
}

}  // namespace orvex
