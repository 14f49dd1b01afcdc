#include "common/dialog_indicator.h"

namespace orvex {

IProgressIndicator* g_dialogIndicator = nullptr;
ICallbackHandler* g_dialogCallback = nullptr;

}  // namespace orvex
