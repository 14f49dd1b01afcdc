#include "probes/desktop_backup.h"

#include <mutex>

#include "base/text.h"
#include "platform/admin_folders.h"
#include "probes/directory_files.h"
#include "probes/environment_helpers.h"

namespace orvex {

namespace {

std::mutex& BackupLock() {
  static std::mutex lock;
  return lock;
}

// The folder the last backup went to; "" when none is waiting to be put back.
std::wstring& MadeBackup() {
  static std::wstring folder;
  return folder;
}

std::wstring BackupFolderOf(const std::wstring& sessionDir) {
  return sessionDir + L"\\desktop_backup";
}

}  // namespace

bool BackUpPublicDesktop(const std::wstring& sessionDir) {
  const std::string systemDrive = GetSystemDrive();
  // Empty texts would turn both folders into paths at the root of the current drive.
  if (sessionDir.empty() || systemDrive.empty()) return false;
  const std::wstring backup = BackupFolderOf(sessionDir);
  uint32_t error = 0;
  if (!platform::MakeAdminOnlyDirectory(backup, &error)) return false;
  CopyDirectoryFiles(ToWide(systemDrive) + L"\\Users\\Public\\Desktop", backup);
  std::lock_guard<std::mutex> hold(BackupLock());
  MadeBackup() = backup;
  return true;
}

std::wstring TakeDesktopBackup(const std::wstring& sessionDir) {
  std::lock_guard<std::mutex> hold(BackupLock());
  if (sessionDir.empty() || MadeBackup() != BackupFolderOf(sessionDir)) return std::wstring();
  std::wstring backup;
  backup.swap(MadeBackup());
  return backup;
}

}  // namespace orvex
