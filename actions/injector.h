#pragma once

#include "engine/module.h"

namespace orvex {

// "Injector": stores "value" at the value path "path" of the session document. A "value"
// that is itself a value path copies the node found there (null when it does not exist).
class CInjector : public CBasicModule {
 public:
  int Execute(Json::Value& doc) override;
};

}  // namespace orvex
