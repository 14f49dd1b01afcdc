#include "platform/known_folders.h"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

namespace orvex {
namespace platform {

std::wstring ProgramDataFolder() {
  PWSTR path = nullptr;
  std::wstring folder;
  if (SUCCEEDED(SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &path)) && path)
    folder = path;
  CoTaskMemFree(path);  // also when the call failed (null is allowed)
  return folder;
}

}  // namespace platform
}  // namespace orvex
