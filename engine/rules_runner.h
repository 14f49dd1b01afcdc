#pragma once

#include "engine/module.h"

namespace orvex {

// "RulesRunner": runs the rule set in its argument "rules" against the session document.
// Fails, with "failed" / "PATH_NOT_WRITABLE", only when an action could not store its value.
class CRulesRunner : public CBasicModule {
 public:
  int Execute(Json::Value& doc) override;
};

}  // namespace orvex
