#pragma once

#include "engine/module.h"

namespace orvex {

// "CABExtractor": unpacks the cabinet "cab" that lies in "directory" into that directory.
class CCABExtractor : public CBasicModule {
 public:
  int Execute(Json::Value& doc) override;
};

}  // namespace orvex
