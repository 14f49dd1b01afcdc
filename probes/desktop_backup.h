#pragma once
// The backup of the public desktop that an upgrade from an old version makes before the old
// product goes, and the record of it: the desktop is put back only from the backup this run
// made, never from a folder that happens to carry the name (anyone could have put files there
// for the elevated installer to copy onto every user's desktop).

#include <string>

namespace orvex {

// Copies the files of the system drive's public desktop into sessionDir + "\\desktop_backup",
// a folder made new for the administrators only, and remembers it as this run's backup.
// False when no backup was made (no such folder could be made: the session folder is missing,
// or the name is taken).
bool BackUpPublicDesktop(const std::wstring& sessionDir);

// The backup folder this run made in sessionDir, or "" when it made none there. The record
// is handed over once: a second call gives "".
std::wstring TakeDesktopBackup(const std::wstring& sessionDir);

}  // namespace orvex
