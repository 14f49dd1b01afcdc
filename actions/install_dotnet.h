#pragma once
// "InstallDOTNET": starts the .NET setup that earlier modules put into the session directory
// and ends the installation; the user runs the installer again once .NET is installed.

#include "engine/module.h"

namespace orvex {

class CInstallDOTNET : public CBasicModule {
 public:
  // Always -1, so that the stage ends here. With the setup started, the plan's abort message
  // tells the user what to do next; when it could not be started, the result record says so
  // and the abort message stays as it was.
  int Execute(Json::Value& doc) override;
};

}  // namespace orvex
