#pragma once
// Records the machine the program runs on as a machine profile for the simulated machine
// (platform/sim/README.md): what the installer reads from WMI, the registry, Windows
// Installer, the processor, the screen, OpenGL, the environment and the security calls, read
// through the platform layer, so the same code records a real machine and a simulated one.

#include <json/json.h>

#include <string>
#include <vector>

namespace orvex {
namespace sysinfo {

struct RecordOptions {
  // Upgrade codes to look installed products up by, besides the ones Windows Installer lists
  // in the registry ("{GUID}" texts).
  std::vector<std::wstring> upgradeCodes;
};

Json::Value RecordMachineProfile(const RecordOptions& options);

// Windows Installer keeps GUIDs in the registry "packed": each group's hexadecimal digits
// reversed, and in the last two groups each byte's two digits swapped. Both directions are the
// same permutation. "" when the text is not 32 hexadecimal digits (packed) or a braced GUID.
std::wstring PackedGuidToGuid(const std::wstring& packed);

}  // namespace sysinfo
}  // namespace orvex
