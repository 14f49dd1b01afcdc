#pragma once
// Whether a program is running, by its executable's file name.

#include <string>

namespace orvex {

// True when a process other than the installer itself runs exeName (compared without regard
// to case, as Windows compares file names). With currentUserOnly a match counts only when
// the process belongs to another account than the installer's (or its owner cannot be read).
// False when the process list cannot be read.
bool IsProcessRunning(std::string exeName, bool currentUserOnly);

}  // namespace orvex
