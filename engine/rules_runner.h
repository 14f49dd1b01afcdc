#pragma once

#include "engine/module.h"

namespace orvex {

// "RulesRunner": runs the rule set in its argument "rules" against the session document.
// Reports no failure of its own and writes no result record.
class CRulesRunner : public CBasicModule {
 public:
  int Execute(Json::Value& doc) override;
};

}  // namespace orvex
