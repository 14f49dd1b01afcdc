#pragma once
// "PostInstall": finishes the installation after the product's package was installed. Puts
// back the public-desktop files the version check saved, runs the product's two batch
// scripts, sets two values under the product's registry key and writes config.xml into the
// user-data directory. Every step runs; when one of them did not happen (a script that could
// not run or ended with a non-zero code, a value not set, config.xml not written, a product
// directory the registry does not name) the module fails with the first such failure as its
// "error".

#include <string>

#include "engine/module.h"

namespace orvex {

class CPostInstallation : public CBasicModule {
 public:
  int Execute(Json::Value& doc) override;

 private:
  void RestoreDesktop(const Json::Value& doc);
  // Each notes its first failure in *firstFailure unless an earlier step noted one.
  void RunPostInstallScripts(std::string* firstFailure);
  void WriteProductConfig(const Json::Value& doc, std::string* firstFailure);

  bool showProgress = true;
};

// The command lines of the two scripts as cmd.exe /c gets them: the whole line in one more
// pair of quotes, which cmd.exe strips.
std::string InstallIcsCommand(const std::string& installDir);
std::string CopyVboxConfigCommand(const std::string& installDir, const std::string& userDataDir);

// Runs command through "cmd.exe /c" without a window and waits for it to end. 0 when it ended
// with exit code 0; -1 otherwise, with *failure saying what happened ("ended with exit code
// 1", "could not be started (Windows error 2)", ...).
int RunHidden(const std::string& command, std::string* failure);

}  // namespace orvex
