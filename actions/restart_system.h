#pragma once

#include "engine/module.h"

namespace orvex {

// "RestartSystem": asks Windows to restart and, when it accepts, ends the installer at once
// with exit code 0.
class CRestart : public CBasicModule {
 public:
  int Execute(Json::Value& doc) override;
};

}  // namespace orvex
