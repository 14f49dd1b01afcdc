#pragma once

#include "engine/module.h"

namespace orvex {

// "CheckPromptVersion": decides between a fresh installation, an upgrade and a stop, by the
// version in the installer package's address (".InstallConfig.installer.url") and the
// installed product that GetProductInfo recorded at ".Config.product". Stops record their
// code as "error" and return -1; an address without a readable version stops the run with
// "ORVEX_VERSION_UNREADABLE" before anything is compared or stored.
class CCheckPromptVersion : public CBasicModule {
 public:
  int Execute(Json::Value& doc) override;

 private:
  // 0 to go on with the upgrade prompt, -1 after the stop was recorded.
  int CheckLighterEdition(Json::Value& doc);
  int Stop(Json::Value& doc, const std::string& error);
};

// The running product that stops an upgrade.
constexpr const char* kProductExecutable = "Orvex.exe";

}  // namespace orvex
