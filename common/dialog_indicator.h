#pragma once
// The main window's progress indicator and callback handler, shared with the stages.

namespace orvex {

class IProgressIndicator;
class ICallbackHandler;

// Published by the window when it initialises and shared by every configuration that names
// "PIDialog" or "CBDialog". Null without a window.
extern IProgressIndicator* g_dialogIndicator;
extern ICallbackHandler* g_dialogCallback;

}  // namespace orvex
