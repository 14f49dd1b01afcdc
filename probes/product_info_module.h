#pragma once
// The information module that looks up an installed product.

#include "probes/info_modules.h"

namespace orvex {

// "GetProductInfo": ".product", the installed product named by "product", or null.
class CGetProductInfo : public CInfoModule {
 public:
  int Execute(Json::Value& doc) override;
};

}  // namespace orvex
