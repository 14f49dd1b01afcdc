#pragma once
// "PostInstall": finishes the installation after the product's package was installed. Puts
// back the public-desktop files the version check saved, runs the product's two batch
// scripts, sets two values under the product's registry key and writes config.xml into the
// user-data directory. Every step is best-effort; the module fails when a folder could not be
// handed to cmd.exe safely (the scripts then do not run, the other steps still do) or a script
// did not finish within its time limit ("timeout_seconds", 10 minutes by default).

#include <cstdint>
#include <string>

#include "engine/module.h"
#include "platform/process_launch.h"

namespace orvex {

class CPostInstallation : public CBasicModule {
 public:
  int Execute(Json::Value& doc) override;

 private:
  void RestoreDesktop(const Json::Value& doc);
  // Runs the two scripts, each waited for at most waitMilliseconds. -1, with the reason
  // recorded, when a folder was refused or a script did not finish in that time.
  int RunPostInstallScripts(Json::Value& doc, uint32_t waitMilliseconds);
  void WriteProductConfig(const Json::Value& doc);

  bool showProgress = true;
};

// Whether a folder can stand inside double quotes on a cmd.exe command line and reach the
// script as it is: no quote (it would end the quoted text and let the rest run as commands),
// no "%" or "!" (cmd.exe expands variables inside quotes too) and no control character (a
// line break or NUL ends the command). "&", "|", "<", ">", "^" and brackets are plain text
// inside quotes, and Windows folders may hold them.
bool SafeInQuotedCommand(const std::string& path);

// The command lines of the two scripts as cmd.exe /c gets them: the whole line in one more
// pair of quotes, which cmd.exe strips.
std::string InstallIcsCommand(const std::string& installDir);
std::string CopyVboxConfigCommand(const std::string& installDir, const std::string& userDataDir);

// Runs command through "cmd.exe /c" without a window and waits for it to end, at most
// waitMilliseconds (a script still running then is left running); its exit code is not read.
// kFailed, without waiting, when it cannot be started.
platform::WaitResult RunHidden(const std::string& command, uint32_t waitMilliseconds);

}  // namespace orvex
