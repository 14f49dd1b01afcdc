#pragma once
// The product's installation and user directories, built once per process.

#include <string>

namespace orvex {

struct CInstallPaths {
  std::string installDir;
  std::string userDataDir;
  std::wstring homeDir;
  std::wstring userFolder;
  std::wstring userName;
};

// Built on the first call, never rebuilt.
CInstallPaths& GetInstallPaths();
// A fresh record from the machine as it is now; GetInstallPaths keeps its first one.
CInstallPaths BuildInstallPaths();
// Re-read from the registry on every call while still empty.
std::string GetInstallDir();
std::string GetUserDataDir();
std::wstring GetCurrentUserName();
std::wstring GetUserFolderName();
std::wstring GetProfileFolderFromWmi(const std::wstring& userName);

}  // namespace orvex
