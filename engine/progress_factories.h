#pragma once
// Creation of progress indicators and callback handlers by the class names configurations use.

#include <memory>
#include <string>

#include "common/dialog_indicator.h"
#include "engine/progress.h"

namespace orvex {

// "PIConsole" creates a new console indicator; "PIDialog" returns g_dialogIndicator; any other
// name gives null. The caller owns what it gets unless it is g_dialogIndicator.
IProgressIndicator* CreateProgressIndicator(std::string className);

// "CBDefault" creates a new console handler; "CBDialog" returns g_dialogCallback.
ICallbackHandler* CreateCallbackHandler(std::string className);

}  // namespace orvex
