#pragma once
// "PostInstall": finishes the installation after the product's package was installed. Puts
// back the public-desktop files the version check saved, runs the product's two batch
// scripts, sets two values under the product's registry key and writes config.xml into the
// user-data directory. Every step is best-effort: the module never fails.

#include <string>

#include "engine/module.h"

namespace orvex {

class CPostInstallation : public CBasicModule {
 public:
  int Execute(Json::Value& doc) override;

 private:
  void RestoreDesktop(const Json::Value& doc);
  void RunPostInstallScripts();
  void WriteProductConfig(const Json::Value& doc);

  bool showProgress = true;
};

// The command lines of the two scripts as cmd.exe /c gets them: the whole line in one more
// pair of quotes, which cmd.exe strips.
std::string InstallIcsCommand(const std::string& installDir);
std::string CopyVboxConfigCommand(const std::string& installDir, const std::string& userDataDir);

// Runs command through "cmd.exe /c" without a window and waits for it to end; its exit code
// is not read. Nothing is waited for when it cannot be started.
void RunHidden(const std::string& command);

}  // namespace orvex
