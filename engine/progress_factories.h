#pragma once
// Creation of progress indicators and callback handlers by the class names configurations use.

#include <memory>
#include <string>

#include "engine/progress.h"

namespace orvex {

// The main window's indicator and handler, published by the window when it initialises and
// shared by every configuration that names "PIDialog" or "CBDialog". Null without a window.
extern IProgressIndicator* g_dialogIndicator;
extern ICallbackHandler* g_dialogCallback;

// "PIConsole" creates a new console indicator; "PIDialog" returns g_dialogIndicator; any other
// name gives null. The caller owns what it gets unless it is g_dialogIndicator.
IProgressIndicator* CreateProgressIndicator(std::string className);

// "CBDefault" creates a new console handler; "CBDialog" returns g_dialogCallback.
ICallbackHandler* CreateCallbackHandler(std::string className);

}  // namespace orvex
