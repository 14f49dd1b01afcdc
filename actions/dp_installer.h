#pragma once
// "DPInstaller": unpacks a downloaded driver archive and installs the driver package in it
// with the Driver Package Installer (dpinst.exe), silently; records whether Windows needs a
// restart.

#include <cstdint>
#include <string>

#include "actions/program_wait.h"
#include "engine/module.h"

namespace orvex {

class CDPInstaller : public CBasicModule {
 public:
  int Execute(Json::Value& doc) override;
};

// dpinst's exit code: the top bit says that a package failed to install, bit 0x40000000
// that a restart is needed, the low byte counts the packages installed. 0 with *restart set
// when at least one package was installed and none failed; -1 otherwise (*restart false).
int DecodeDpinstExitCode(uint32_t code, bool* restart);

// The parameters dpinst gets for the driver folder (UTF-8, as every path of the session
// document): "/F /LM /Q /PATH " and the folder in double quotes, without trailing backslashes
// (a backslash before the closing quote would escape it).
std::wstring DpinstParameters(const std::string& driverFolder);

// dpinst's exit code in words for the module's "error": the code in hexadecimal, the packages
// installed, only copied to the driver store and failed, and the failure and restart flags.
std::string DescribeDpinstExitCode(uint32_t code);

// Unpacks the archive into destDir, runs dpinst (dpinstPath) on destDir\dirSuffix and waits
// for it, at most waitMilliseconds; the paths are UTF-8. 0 when dpinst installed at least one
// package and none failed, with *restart telling whether Windows needs a restart; -1 when the
// unpacking failed, dpinst could not be started, waited for or asked for its exit code, did not
// finish in time (*timedOut set when timedOut is not null; dpinst is left running) or reported
// no success, with *failure (when given) saying which in words.
int RunDpinst(const std::string& dpinstPath, const std::string& archivePath,
              const std::string& destDir, const std::string& dirSuffix, bool* restart,
              uint32_t waitMilliseconds = kDriverInstallerWaitSeconds * 1000,
              bool* timedOut = nullptr, std::string* failure = nullptr);

}  // namespace orvex
