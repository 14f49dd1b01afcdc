#pragma once
// Prompts through which the web service's configuration closes a run: a machine the product
// cannot be installed on, and a restart the installation needs.

#include "prompts/module_injection.h"

namespace orvex {

// "CheckPromptUninstallable": unless ".InstallConfig.installer.install" is true, tells the
// service's reason, offers its help article and stops the run.
class CCheckPromptUninstallable : public CBasicModule {
 public:
  int Execute(Json::Value& doc) override;
};

// "CheckPromptRestart": when ".InstallConfig.installer.restart" is true, offers the restart.
// Only an explicit "Restart Now" injects RESTART_SYSTEM after this module; a closed prompt,
// Esc and an indicator that cannot ask count as "Restart Later".
class CCheckPromptRestart : public CPromptModule {
 public:
  int Execute(Json::Value& doc) override;
};

}  // namespace orvex
