#pragma once

#include "engine/module.h"

namespace orvex {

// "DumpState": shows the whole session document, as styled JSON, on the indicator's detail
// line. The console prints it; the window ignores detail texts.
class CDumpState : public CBasicModule {
 public:
  int Execute(Json::Value& doc) override;
};

}  // namespace orvex
