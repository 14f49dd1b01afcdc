#include "probes/install_paths.h"

#include <mutex>

#include "base/text.h"
#include "platform/security.h"
#include "probes/environment_helpers.h"
#include "probes/registry_values.h"
#include "probes/wmi_connection.h"
#include "probes/wmi_queries.h"

namespace orvex {

namespace {

constexpr const char* kProductKey = "Software\\Quarn\\Orvex";

// The profile path is taken to begin with a drive and "\Users\", as in C:\Users\name.
std::wstring WithoutProfilePrefix(const std::wstring& profilePath) {
  return profilePath.size() > 9 ? profilePath.substr(9) : std::wstring();
}

std::string ReadProductDirectory(const char* valueName) {
  std::string directory;
  ReadRegistryString(kProductKey, valueName, &directory);
  return directory;
}

// Guards the lazy re-reads of the two registry directories.
std::mutex g_pathsLock;

}  // namespace

CInstallPaths BuildInstallPaths() {
  CInstallPaths built;
  built.installDir = ReadProductDirectory("InstallDir");
  built.userDataDir = ReadProductDirectory("UserDataDir");
  built.homeDir = ToWide(GetSystemDrive()) + L"\\Users\\" + GetUserFolderName() + L"\\.Orvex";
  built.userFolder = GetUserFolderName();
  built.userName = GetEnvStringW(L"USERNAME");
  return built;
}

CInstallPaths& GetInstallPaths() {
  // A function-local static is initialised exactly once, also when two threads ask.
  static CInstallPaths paths = BuildInstallPaths();
  return paths;
}

std::string GetInstallDir() {
  CInstallPaths& paths = GetInstallPaths();
  std::lock_guard<std::mutex> lock(g_pathsLock);
  // Still empty: the product's own setup may have written it since.
  if (paths.installDir.empty()) paths.installDir = ReadProductDirectory("InstallDir");
  return paths.installDir;
}

std::string GetUserDataDir() {
  CInstallPaths& paths = GetInstallPaths();
  std::lock_guard<std::mutex> lock(g_pathsLock);
  if (paths.userDataDir.empty()) paths.userDataDir = ReadProductDirectory("UserDataDir");
  return paths.userDataDir;
}

std::wstring GetCurrentUserName() { return GetInstallPaths().userName; }

std::wstring GetUserFolderName() {
  const std::wstring profile = GetEnvStringW(L"USERPROFILE");
  if (!profile.empty()) return WithoutProfilePrefix(profile);
  return GetProfileFolderFromWmi(std::wstring());
}

std::wstring GetProfileFolderFromWmi(const std::wstring& userName) {
  CWmiConnection wmi;
  wmi.Connect(ToWide(kCimNamespace));
  std::wstring account = userName;
  if (account.empty()) account = wmi.GetValue(L"Win32_ComputerSystem", L"UserName", L"");
  const std::size_t backslash = account.rfind(L'\\');
  if (backslash != std::wstring::npos) account = account.substr(backslash + 1);
  std::wstring sid;
  if (!platform::AccountSidText(account, &sid)) return std::wstring();
  const std::wstring path =
      wmi.GetValue(L"Win32_UserProfile", L"LocalPath", UserProfileCondition(sid));
  return WithoutProfilePrefix(path);
}

}  // namespace orvex
