#pragma once
// Folders Windows names for the whole machine, as Windows knows them: never from an
// environment variable of the process, which whoever starts the program chooses.

#include <string>

namespace orvex {
namespace platform {

// SHGetKnownFolderPath(FOLDERID_ProgramData): the machine's folder for programs' shared data
// ("C:\\ProgramData"), or "" when the call failed. The simulated machine answers its
// profile's "programDataDirectory", else the usual folder.
std::wstring ProgramDataFolder();

}  // namespace platform
}  // namespace orvex
