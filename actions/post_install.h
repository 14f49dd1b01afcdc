#pragma once
// "PostInstall": finishes the installation after the product's package was installed. Puts
// back the public-desktop files the version check saved, runs the product's two batch
// scripts, sets two values under the product's registry key and writes config.xml into the
// user-data directory. Every step runs; when one of them did not happen the module fails with
// the first such failure: a folder that could not be handed to cmd.exe safely (the scripts
// then do not run), a script that did not finish within its time limit ("timeout_seconds",
// 10 minutes by default), could not run or ended with a non-zero code, a product folder the
// registry does not name, a value not set, config.xml not written.

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
  // Runs the two scripts, each waited for at most waitMilliseconds, and sets the two values.
  void RunPostInstallScripts(uint32_t waitMilliseconds);
  void RunScript(const char* script, const std::string& command, uint32_t waitMilliseconds);
  void WriteProductConfig(const Json::Value& doc);
  // Keeps the first failure (error code and reason); later steps still run.
  void NoteFailure(const std::string& error, const std::string& reason);

  bool showProgress = true;
  std::string failureError_;
  std::string failureReason_;
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

// Runs command through "cmd.exe /c" (the system folder's, by its full path) without a window
// and waits for it to end, at most waitMilliseconds (a script still running then is left
// running). kExited with its code in *exitCode; kFailed when it cannot be started
// (*startError the Windows error, 0 when none was given) or its end or code cannot be read.
platform::WaitResult RunHidden(const std::string& command, uint32_t waitMilliseconds,
                               uint32_t* exitCode, uint32_t* startError);

}  // namespace orvex
