#pragma once

#include "engine/module.h"

namespace orvex {

// "AjaxRequest": posts parameters taken from the session document to a web-service operation
// and stores the answer, as text or as parsed JSON, at a value path of the document.
class CAjaxRequest : public CBasicModule {
 public:
  int Execute(Json::Value& doc) override;
};

// The form body of the request: members of args in ascending byte order of their keys, as
// key=value joined by "&". Integers in decimal, strings resolved against doc (value paths
// give the text found there), anything else "". Keys and values are form-encoded.
std::string BuildRequestParameters(const Json::Value& args, Json::Value& doc);

}  // namespace orvex
