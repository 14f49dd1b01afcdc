#include "actions/post_install.h"

#include <memory>

#include "actions/product_config_xml.h"
#include "actions/program_wait.h"
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

bool SafeInQuotedCommand(const std::string& path) {
  for (unsigned char c : path)
    if (c < 0x20 || c == 0x7F || c == '"' || c == '%' || c == '!') return false;
  return true;
}

std::string InstallIcsCommand(const std::string& installDir) {
  return "\"\"" + installDir + "\\install_ics.bat\" \"" + installDir + "\" \"Quarn\" \"Orvex\"\"";
}

std::string CopyVboxConfigCommand(const std::string& installDir, const std::string& userDataDir) {
  return "\"\"" + installDir + "\\copy_vbox_config.bat\" \"" + userDataDir + "orvexvm\"\"";
}

platform::WaitResult RunHidden(const std::string& command, uint32_t waitMilliseconds) {
  platform::ProgramLaunch launch;
  launch.file = L"cmd.exe";
  launch.parameters = L"/c " + ToWide(command);
  launch.showCommand = platform::kShowHide;
  std::unique_ptr<platform::IStartedProcess> process = platform::StartProgram(launch, nullptr);
  if (!process) return platform::WaitResult::kFailed;
  return process->WaitForExit(waitMilliseconds);
}

void CPostInstallation::RestoreDesktop(const Json::Value& doc) {
  const Json::Value& sessionDir = FindPath(doc, ".SessionDir");
  const std::string systemDrive = GetSystemDrive();
  // Empty texts would turn both folders into paths at the root of the current drive.
  if (!sessionDir.isString() || sessionDir.asString().empty() || systemDrive.empty()) return;
  const std::wstring backup = Utf8ToWide(sessionDir.asString()) + L"\\desktop_backup";
  if (!platform::PathExists(backup)) return;
  const std::wstring desktop = ToWide(systemDrive) + L"\\Users\\Public\\Desktop";
  CopyDirectoryFiles(backup, desktop);
  RemoveRestoredFiles(backup, desktop);
}

int CPostInstallation::RunPostInstallScripts(Json::Value& doc, uint32_t waitMilliseconds) {
  const std::string installDir = GetInstallDir();
  const std::string userDataDir = GetUserDataDir();
  // The folders come from the registry, which anyone with rights to the product's key can
  // set: cmd.exe must get them as plain paths, or neither script runs.
  const bool installDirSafe = SafeInQuotedCommand(installDir);
  const bool safe = installDirSafe && SafeInQuotedCommand(userDataDir);
  std::string unfinished;
  const auto runScript = [&](const char* script, const std::string& command) {
    if (RunHidden(command, waitMilliseconds) == platform::WaitResult::kTimedOut &&
        unfinished.empty())
      unfinished = script;
  };
  if (!safe) {
    RecordResult(doc, "failed",
                 "Unable to run the post-installation scripts: the folder " +
                     (installDirSafe ? userDataDir : installDir) +
                     " holds a character that cmd.exe would not read as part of a path",
                 "UNSAFE_FOLDER_PATH");
  } else if (!installDir.empty()) {
    runScript("install_ics.bat", InstallIcsCommand(installDir));
    if (!userDataDir.empty())
      runScript("copy_vbox_config.bat", CopyVboxConfigCommand(installDir, userDataDir));
  }
  WriteRegistryDword(kProductKey, "SendCrashReport", 1);
  WriteRegistryString(kProductKey, "PromoterReferred", "");
  if (!safe) return -1;
  if (!unfinished.empty()) {
    RecordResult(doc, "failed", DidNotFinishText(unfinished, waitMilliseconds), "PROGRAM_TIMEOUT");
    return -1;
  }
  return 0;
}

void CPostInstallation::WriteProductConfig(const Json::Value& doc) {
  const std::string userDataDir = GetUserDataDir();
  if (userDataDir.empty()) return;
  // The "config" folder is the product's; when it is missing no file is written.
  WriteConfigXml(ToWide(userDataDir + "\\config\\config.xml"),
                 ConfigXmlText(BuildConfigTree(doc)));
}

int CPostInstallation::Execute(Json::Value& doc) {
  uint32_t scriptWait = 0;
  std::string invalidLimit;
  if (!ReadWaitLimit(args, kScriptWaitSeconds, &scriptWait, &invalidLimit)) {
    RecordResult(doc, "fatal", invalidLimit, "INVALID_TIMEOUT");
    return -1;
  }
  EnableMainDialogCancel(false);
  showProgress = IsTrue(Member(args, "show_progress"));
  if (progress && showProgress) progress->SetStatus("Finalizing installation ...");
  RestoreDesktop(doc);
  // A refused folder or a script that ran out its time does not stop the steps after it.
  const int scripts = RunPostInstallScripts(doc, scriptWait);
  WriteProductConfig(doc);
  EnableMainDialogCancel(true);
  return scripts;
}

}  // namespace orvex
