#pragma once

#include "engine/module.h"

namespace orvex {

// "RulesRunner": runs the rule set in its argument "rules" against the session document.
// Fails with "fatal" / "INVALID_PATTERN" (the reason names the pattern and its fault) when a
// condition's regular expression cannot be matched, and with "failed" / "PATH_NOT_WRITABLE"
// when an action could not store its value.
class CRulesRunner : public CBasicModule {
 public:
  int Execute(Json::Value& doc) override;
};

}  // namespace orvex
