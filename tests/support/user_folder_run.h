#pragma once
// The modules a session directory made under the user's own folders goes through, for the
// host and the Wine run alike: CreateInTempDir makes it in TEMP, the version check (answered
// "Upgrade") saves the public desktop into it, DPInstaller starts dpinst from it (the driver
// archive lies in the folder at ".Drivers"), PostInstall puts the desktop back from it and
// InstallDOTNET starts the .NET setup from it and ends the stage.

#include <json/json.h>

#include <string>

#include "engine/stage.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace test {

// The first stage: CreateInTempDir makes the session folder, new and for administrators only.
// The downloads would then bring the programs into it.
inline void AddSessionFolderModule(CStage& stage, IProgressIndicator* indicator) {
  AddRegisteredModules(
      stage, {{"CreateInTempDir", R"({"saveTo": ".SessionDir", "directory": "orvex session"})"}},
      indicator);
}

// The second stage: the modules that use the session folder.
inline void AddUserFolderModules(CStage& stage, IProgressIndicator* indicator) {
  AddRegisteredModules(stage,
                       {
                           {"CheckPromptVersion", "{}"},
                           {"DPInstaller", R"({"dpinst_dir": ".SessionDir", "src_dir": ".Drivers",
              "src_file": "gpudriver.zip", "dest_dir": ".Drivers", "dir_suffix": "Graphics",
              "is_restart": ".InstallConfig.installer.restart"})"},
                           {"PostInstall", "{}"},
                           {"InstallDOTNET", "{}"},
                       },
                       indicator);
}

// Orvex 2.0.6 offered over an installed 1.0.13, whose upgrade saves the public desktop.
inline Json::Value UserFolderRunDocument(const std::string& drivers) {
  Json::Value doc = J(R"({"InstallConfig": {"installer": {
      "url": "http://dl.orvex.example/media/OrvexInstaller_native-2.0.6.8063.exe"}},
      "Config": {"product": {"name": "Orvex", "major_version": 1, "minor_version": 0,
                             "sub_minor_version": 13}}})");
  doc["Drivers"] = drivers;
  return doc;
}

}  // namespace test
}  // namespace orvex
