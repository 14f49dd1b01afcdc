#include "actions/post_install.h"

#include <memory>

#include "actions/product_config_xml.h"
#include "actions/program_wait.h"
#include "base/json_text.h"
#include "base/text.h"
#include "common/session_cells.h"
#include "engine/progress.h"
#include "engine/value_path.h"
#include "platform/directory_entries.h"
#include "platform/files.h"
#include "platform/process_launch.h"
#include "platform/win_codes.h"
#include "probes/desktop_backup.h"
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
  platform::DirectoryEntries entries(backup);
  platform::DirectoryEntry entry;
  while (entries.Next(&entry)) {
    if (entry.IsDirectory()) continue;
    const uint32_t there = platform::FileAttributes(desktop + L"\\" + entry.name);
    if (there == platform::kInvalidFileAttributes || (there & platform::kFileAttributeDirectory))
      continue;
    // A file that cannot be removed stays in the backup beside the desktop's copy: nothing is
    // lost, and the backup is only the fuller for it.
    (void)platform::DeleteFileAt(backup + L"\\" + entry.name);
  }
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

platform::WaitResult RunHidden(const std::string& command, uint32_t waitMilliseconds,
                               uint32_t* exitCode, uint32_t* startError) {
  // By its full path: a bare name makes the shell look in the current folder (the user's
  // Downloads) before the system folder, and this process is elevated.
  const std::wstring system = platform::SystemDirectory();
  if (system.empty()) {
    if (startError) *startError = platform::kErrorPathNotFound;
    return platform::WaitResult::kFailed;
  }
  platform::ProgramLaunch launch;
  launch.file = L"\"" + system + L"\\cmd.exe\"";
  launch.parameters = L"/c " + ToWide(command);
  launch.showCommand = platform::kShowHide;
  std::unique_ptr<platform::IStartedProcess> process = platform::StartProgram(launch, startError);
  if (!process) return platform::WaitResult::kFailed;
  const platform::WaitResult waited = process->WaitForExit(waitMilliseconds);
  // A code that cannot be read counts as a failed wait: the script's outcome is unknown.
  if (waited == platform::WaitResult::kExited && !process->ExitCode(exitCode))
    return platform::WaitResult::kFailed;
  return waited;
}

void CPostInstallation::RestoreDesktop(const Json::Value& doc) {
  const Json::Value& sessionDir = FindPath(doc, ".SessionDir");
  const std::string systemDrive = GetSystemDrive();
  // Empty texts would turn both folders into paths at the root of the current drive.
  if (!sessionDir.isString() || sessionDir.asString().empty() || systemDrive.empty()) return;
  // Only the backup this run made is put back: a "desktop_backup" found in the folder
  // otherwise is nobody's we know.
  const std::wstring backup = TakeDesktopBackup(Utf8ToWide(sessionDir.asString()));
  if (backup.empty() || !platform::PathExists(backup)) return;
  const std::wstring desktop = ToWide(systemDrive) + L"\\Users\\Public\\Desktop";
  CopyDirectoryFiles(backup, desktop);
  RemoveRestoredFiles(backup, desktop);
}

void CPostInstallation::NoteFailure(const std::string& error, const std::string& reason) {
  if (failureError_.empty()) {
    failureError_ = error;
    failureReason_ = reason;
  }
}

void CPostInstallation::RunScript(const char* script, const std::string& command,
                                  uint32_t waitMilliseconds) {
  uint32_t exitCode = 0;
  uint32_t startError = 0;
  switch (RunHidden(command, waitMilliseconds, &exitCode, &startError)) {
    case platform::WaitResult::kTimedOut:
      NoteFailure("PROGRAM_TIMEOUT", DidNotFinishText(script, waitMilliseconds));
      return;
    case platform::WaitResult::kFailed:
      NoteFailure("POST_INSTALL_SCRIPT_FAILED",
                  startError ? std::string(script) + " could not be started (Windows error " +
                                   std::to_string(startError) + ")"
                             : std::string(script) +
                                   " was started but its end could not be "
                                   "waited for");
      return;
    case platform::WaitResult::kExited:
      if (exitCode != 0)
        NoteFailure("POST_INSTALL_SCRIPT_FAILED",
                    std::string(script) + " ended with exit code " + std::to_string(exitCode));
      return;
  }
}

void CPostInstallation::RunPostInstallScripts(uint32_t waitMilliseconds) {
  const std::string installDir = GetInstallDir();
  const std::string userDataDir = GetUserDataDir();
  // The folders come from the registry, which anyone with rights to the product's key can
  // set: cmd.exe must get them as plain paths, or neither script runs.
  const bool installDirSafe = SafeInQuotedCommand(installDir);
  const bool safe = installDirSafe && SafeInQuotedCommand(userDataDir);
  if (!safe) {
    NoteFailure("UNSAFE_FOLDER_PATH",
                "Unable to run the post-installation scripts: the folder " +
                    (installDirSafe ? userDataDir : installDir) +
                    " holds a character that cmd.exe would not read as part of a path");
  } else if (installDir.empty()) {
    NoteFailure("INSTALL_DIR_UNKNOWN", "The installation directory is not recorded under HKLM\\" +
                                           std::string(kProductKey) + " (InstallDir)");
  } else {
    RunScript("install_ics.bat", InstallIcsCommand(installDir), waitMilliseconds);
    if (!userDataDir.empty())
      RunScript("copy_vbox_config.bat", CopyVboxConfigCommand(installDir, userDataDir),
                waitMilliseconds);
  }
  const std::string notSet = " could not be set under HKLM\\" + std::string(kProductKey);
  if (WriteRegistryDword(kProductKey, "SendCrashReport", 1) != 0)
    NoteFailure("REGISTRY_NOT_WRITTEN", "SendCrashReport" + notSet);
  if (WriteRegistryString(kProductKey, "PromoterReferred", "") != 0)
    NoteFailure("REGISTRY_NOT_WRITTEN", "PromoterReferred" + notSet);
}

void CPostInstallation::WriteProductConfig(const Json::Value& doc) {
  const std::string userDataDir = GetUserDataDir();
  if (userDataDir.empty()) {
    NoteFailure("USER_DATA_DIR_UNKNOWN", "The user-data directory is not recorded under HKLM\\" +
                                             std::string(kProductKey) + " (UserDataDir)");
    return;
  }
  // The "config" folder is the package's; when it is missing no file is written.
  const std::string path = userDataDir + "\\config\\config.xml";
  if (!WriteConfigXml(ToWide(path), ConfigXmlText(BuildConfigTree(doc))))
    NoteFailure("CONFIG_XML_NOT_WRITTEN", "config.xml could not be written to " + path);
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
  failureError_.clear();
  failureReason_.clear();
  // Every step runs; the first that did not happen is the module's failure.
  RestoreDesktop(doc);
  RunPostInstallScripts(scriptWait);
  WriteProductConfig(doc);
  if (!failureError_.empty()) {
    RecordResult(doc, "failed", failureReason_, failureError_);
    if (progress)
      progress->Prompt("Could not finish the installation of Orvex.", "Ok", "", failureReason_, 2);
    EnableMainDialogCancel(true);
    return -1;
  }
  EnableMainDialogCancel(true);
  return 0;
}

}  // namespace orvex
