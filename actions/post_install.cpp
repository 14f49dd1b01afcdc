#include "actions/post_install.h"

#include <memory>

#include "actions/product_config_xml.h"
#include "common/dialog_cells.h"
#include "base/json_text.h"
#include "engine/progress.h"
#include "base/codepage.h"
#include "base/text.h"
#include "engine/value_path.h"
#include "platform/files.h"
#include "platform/process_launch.h"
#include "platform/win_codes.h"
#include "probes/directory_files.h"
#include "probes/environment_helpers.h"
#include "probes/install_paths.h"
#include "probes/registry_values.h"

namespace orvex {

namespace {

constexpr const char* kProductKey = "Software\\Quarn\\Orvex";

// JSON truth, where an absent or null value counts as true.
bool IsTrue(const Json::Value& value) { return value.isNull() || JsonTruth(value); }

// Removes from backup the files that the public desktop now has, so that a file whose copy
// failed stays in the backup.
void RemoveRestoredFiles(const std::wstring& backup, const std::wstring& desktop) {
  platform::FindData entry;
  std::unique_ptr<platform::IFileSearch> search =
      platform::StartFileSearch(backup + L"\\*.*", &entry);
  if (!search) return;
  uint32_t error = 0;
  do {
    if (entry.attributes & platform::kFileAttributeDirectory) continue;
    const uint32_t there = platform::FileAttributes(desktop + L"\\" + entry.name);
    if (there == platform::kInvalidFileAttributes ||
        (there & platform::kFileAttributeDirectory))
      continue;
    platform::DeleteFileAt(backup + L"\\" + entry.name);
  } while (search->Next(&entry, &error));
}

}  // namespace

std::string InstallIcsCommand(const std::string& installDir) {
  return "\"\"" + installDir + "\\install_ics.bat\" \"" + installDir + "\" \"Quarn\" \"Orvex\"\"";
}

std::string CopyVboxConfigCommand(const std::string& installDir, const std::string& userDataDir) {
  return "\"\"" + installDir + "\\copy_vbox_config.bat\" \"" + userDataDir + "orvexvm\"\"";
}

int RunHidden(const std::string& command, std::string* failure) {
  platform::ProgramLaunch launch;
  launch.file = L"cmd.exe";
  launch.parameters = L"/c " + ToWide(command);
  launch.showCommand = platform::kShowHide;
  uint32_t startError = 0;
  std::unique_ptr<platform::IStartedProcess> process =
      platform::StartProgram(launch, &startError);
  if (!process) {
    *failure = "could not be started (Windows error " + std::to_string(startError) + ")";
    return -1;
  }
  uint32_t code = 0;
  if (!process->WaitForExit() || !process->ExitCode(&code)) {
    *failure = "was started but its end could not be waited for";
    return -1;
  }
  if (code != 0) {
    *failure = "ended with exit code " + std::to_string(code);
    return -1;
  }
  return 0;
}

void CPostInstallation::RestoreDesktop(const Json::Value& doc) {
  const Json::Value& sessionDir = FindPath(doc, ".SessionDir");
  const std::string systemDrive = GetSystemDrive();
  // Empty texts would turn both folders into paths at the root of the current drive.
  if (!sessionDir.isString() || sessionDir.asString().empty() || systemDrive.empty()) return;
  const std::wstring backup = ToWide(sessionDir.asString()) + L"\\desktop_backup";
  if (!platform::PathExists(backup)) return;
  const std::wstring desktop = ToWide(systemDrive) + L"\\Users\\Public\\Desktop";
  CopyDirectoryFiles(backup, desktop);
  RemoveRestoredFiles(backup, desktop);
}

namespace {

// Keeps the first failure: later steps still run, the module reports what went wrong first.
void NoteFailure(std::string* first, const std::string& failure) {
  if (first->empty()) *first = failure;
}

void RunScript(const char* script, const std::string& command, std::string* firstFailure) {
  std::string failure;
  if (RunHidden(command, &failure) != 0) NoteFailure(firstFailure, script + (" " + failure));
}

}  // namespace

void CPostInstallation::RunPostInstallScripts(std::string* firstFailure) {
  const std::string installDir = GetInstallDir();
  const std::string userDataDir = GetUserDataDir();
  if (installDir.empty()) {
    NoteFailure(firstFailure, "The installation directory is not recorded under "
                              "HKLM\\Software\\Quarn\\Orvex (InstallDir)");
  } else {
    RunScript("install_ics.bat", InstallIcsCommand(installDir), firstFailure);
    if (!userDataDir.empty())
      RunScript("copy_vbox_config.bat", CopyVboxConfigCommand(installDir, userDataDir),
                firstFailure);
  }
  const std::string notSet = " could not be set under HKLM\\" + std::string(kProductKey);
  if (WriteRegistryDword(kProductKey, "SendCrashReport", 1) != 0)
    NoteFailure(firstFailure, "SendCrashReport" + notSet);
  if (WriteRegistryString(kProductKey, "PromoterReferred", "") != 0)
    NoteFailure(firstFailure, "PromoterReferred" + notSet);
}

void CPostInstallation::WriteProductConfig(const Json::Value& doc, std::string* firstFailure) {
  const std::string userDataDir = GetUserDataDir();
  if (userDataDir.empty()) {
    NoteFailure(firstFailure, "The user-data directory is not recorded under "
                              "HKLM\\Software\\Quarn\\Orvex (UserDataDir)");
    return;
  }
  // The "config" folder is the package's; when it is missing no file is written.
  const std::string path = userDataDir + "\\config\\config.xml";
  if (!WriteConfigXml(ToWide(path), ConfigXmlText(BuildConfigTree(doc))))
    NoteFailure(firstFailure, "config.xml could not be written to " + path);
}

int CPostInstallation::Execute(Json::Value& doc) {
  EnableMainDialogCancel(false);
  showProgress = IsTrue(Member(args, "show_progress"));
  if (progress && showProgress) progress->SetStatus("Finalizing installation ...");
  std::string failure;
  RestoreDesktop(doc);
  RunPostInstallScripts(&failure);
  WriteProductConfig(doc, &failure);
  if (!failure.empty()) {
    RecordResult(doc, "failed", "Unable to finish the installation of Orvex.", failure);
    if (progress)
      progress->Prompt("Could not finish the installation of Orvex.", "Ok", "", failure, 2);
    EnableMainDialogCancel(true);
    return -1;
  }
  EnableMainDialogCancel(true);
  return 0;
}

}  // namespace orvex
