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

void RunHidden(const std::string& command) {
  platform::ProgramLaunch launch;
  launch.file = L"cmd.exe";
  launch.parameters = L"/c " + ToWide(command);
  launch.showCommand = platform::kShowHide;
  std::unique_ptr<platform::IStartedProcess> process = platform::StartProgram(launch, nullptr);
  if (process) process->WaitForExit();
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

int CPostInstallation::RunPostInstallScripts(Json::Value& doc) {
  const std::string installDir = GetInstallDir();
  const std::string userDataDir = GetUserDataDir();
  // The folders come from the registry, which anyone with rights to the product's key can
  // set: cmd.exe must get them as plain paths, or neither script runs.
  const bool installDirSafe = SafeInQuotedCommand(installDir);
  const bool safe = installDirSafe && SafeInQuotedCommand(userDataDir);
  if (!safe) {
    RecordResult(doc, "failed",
                 "Unable to run the post-installation scripts: the folder " +
                     (installDirSafe ? userDataDir : installDir) +
                     " holds a character that cmd.exe would not read as part of a path",
                 "UNSAFE_FOLDER_PATH");
  } else if (!installDir.empty()) {
    RunHidden(InstallIcsCommand(installDir));
    if (!userDataDir.empty()) RunHidden(CopyVboxConfigCommand(installDir, userDataDir));
  }
  WriteRegistryDword(kProductKey, "SendCrashReport", 1);
  WriteRegistryString(kProductKey, "PromoterReferred", "");
  return safe ? 0 : -1;
}

void CPostInstallation::WriteProductConfig(const Json::Value& doc) {
  const std::string userDataDir = GetUserDataDir();
  if (userDataDir.empty()) return;
  // The "config" folder is the product's; when it is missing no file is written.
  WriteConfigXml(ToWide(userDataDir + "\\config\\config.xml"),
                 ConfigXmlText(BuildConfigTree(doc)));
}

int CPostInstallation::Execute(Json::Value& doc) {
  EnableMainDialogCancel(false);
  showProgress = IsTrue(Member(args, "show_progress"));
  if (progress && showProgress) progress->SetStatus("Finalizing installation ...");
  RestoreDesktop(doc);
  const int scripts = RunPostInstallScripts(doc);
  WriteProductConfig(doc);
  EnableMainDialogCancel(true);
  return scripts;
}

}  // namespace orvex
