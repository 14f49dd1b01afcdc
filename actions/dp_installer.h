#pragma once
// "DPInstaller": unpacks a downloaded driver archive and installs the driver package in it
// with the Driver Package Installer (dpinst.exe), silently; records whether Windows needs a
// restart.

#include <cstdint>
#include <string>

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

// The parameters dpinst gets for the driver folder: "/F /LM /Q /PATH " and the folder in
// double quotes, without trailing backslashes (a backslash before the closing quote would
// escape it).
std::wstring DpinstParameters(const std::string& driverFolder);

// dpinst's exit code in words for the module's "error": the code in hexadecimal, the packages
// installed, only copied to the driver store and failed, and the failure and restart flags.
std::string DescribeDpinstExitCode(uint32_t code);

// Unpacks the archive into destDir, runs dpinst (dpinstPath) on destDir\dirSuffix and waits
// for it. 0 when dpinst installed at least one package and none failed, with *restart telling
// whether Windows needs a restart; -1 when the unpacking failed, dpinst could not be started,
// waited for or asked for its exit code, or reported no success, with *failure (when given)
// saying which.
int RunDpinst(const std::string& dpinstPath, const std::string& archivePath,
              const std::string& destDir, const std::string& dirSuffix, bool* restart,
              std::string* failure = nullptr);

}  // namespace orvex
