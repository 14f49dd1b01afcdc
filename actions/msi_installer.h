#pragma once

#include <string>
#include <vector>

#include "actions/msi_package.h"
#include "engine/module.h"

namespace orvex {

// "MSIInstaller": installs the package "name" from "directory" silently through Windows
// Installer with the properties of "msi_args", showing its progress; the main window's Cancel
// button is disabled while it runs.
class CMSIInstaller : public CBasicModule, public IMSIHandler {
 public:
  int Execute(Json::Value& doc) override;

  void OnInstallStart(const std::string& text) override;
  void OnInstallEnd(const std::string& text) override;
  void OnActionStart(const std::string& action) override;
  void OnProgress(int percent) override;
  void OnFatalExit(const std::string& text) override;
  void OnError(const std::string& text) override;
  void OnWarning(const std::string& text) override;

 private:
  int Run(Json::Value& doc);
  // Records the failure to install path beside the "error" already recorded and shows it in
  // the failure prompt; -1.
  int Fail(Json::Value& doc, const std::wstring& path);
  uint32_t Install(Json::Value& doc, const std::wstring& path,
                   const std::vector<MsiProperty>& properties);

  bool showProgress_ = true;
  Json::Value* doc_ = nullptr;
};

// The installer properties of an "msi_args" object, in the order of their names' bytes:
// integers in decimal, strings as written, booleans as 1 and 0; empty values, values holding
// a control character (NUL included), other kinds and names that are not property identifiers
// are left out. Values are quoted for the command line
// where they need it.
std::vector<MsiProperty> MsiPropertiesFromArgs(const Json::Value& msiArgs);

// A Windows Installer property name: letters, digits, "_" and ".", not starting with a digit
// or ".".
bool IsMsiPropertyName(const std::string& name);

// The value as the command line must carry it: quoted (inner quotes doubled) when it holds a
// blank, a control character or a double quote, unless it already is one properly quoted text.
std::string QuoteMsiPropertyValue(const std::string& value);

}  // namespace orvex
