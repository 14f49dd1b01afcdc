#pragma once

#include "engine/module.h"

namespace orvex {

// "ConnectivityChecker": tells whether a URL answers and, when it does not, tells the user
// that an internet connection is needed.
class CConnectivityChecker : public CBasicModule {
 public:
  int Execute(Json::Value& doc) override;
};

}  // namespace orvex
