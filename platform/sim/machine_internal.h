#pragma once
// The simulated machine as the platform facilities of platform/sim/ share it. Only files in
// platform/sim/ include this; everything else goes through platform/*.h and sim/machine.h.

#include <json/value.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "platform/sim/registry_tree.h"
#include "platform/sim/sim_text.h"

namespace orvex {
namespace sim {

struct ServiceEntry {
  std::wstring name;
  std::wstring displayName;
  std::wstring binaryPath;
  bool running = false;
};

// One loaded machine: the profile and what the program changed since it was loaded.
struct Machine {
  Json::Value profile;
  bool is64Bit = true;
  uint32_t ansiCodePage = 1252;  // the profile's "ansiCodePage"
  RegistryTree registry;
  std::map<std::wstring, ServiceEntry, NoCaseLess> services;
  // Records for MachineState().
  Json::Value createdKeys{Json::arrayValue};
  Json::Value registryWrites{Json::arrayValue};
  Json::Value serviceEvents{Json::arrayValue};
  Json::Value restartRequests{Json::arrayValue};
  Json::Value installedProducts{Json::arrayValue};
  Json::Value startedPrograms{Json::arrayValue};
  // The named pipes the program holds open (\\.\pipe\<name>), by name.
  std::set<std::wstring, NoCaseLess> openPipes;
  // Folders made for administrators only (MakeAdminOnlyDirectory), by host path: nothing in
  // or at them may be changed while the process acts as a user without elevation.
  std::set<std::string> adminOnlyFolders;
  // File attributes other than read-only and directory, by host path (the host keeps none).
  std::map<std::string, uint32_t> fileAttributes;
  // The process's current directory, a drive path ("C:\\Users\\john\\Downloads").
  std::wstring currentDirectory;
  // Whether the drives, system folders and profile files exist in the sandbox yet.
  bool sandboxReady = false;
  // Changes with every load, so that handles opened on an earlier machine go stale.
  uint64_t generation = 0;
  // Bytes the program's writes added to each drive (upper-case letter) since the load, less
  // what its deletions freed; may be negative.
  std::map<char, int64_t> driveBytesAdded;
};

// Every facility holds this lock while it reads or changes the machine.
std::recursive_mutex& MachineLock();

// The current machine, loaded on first use; call with the lock held.
Machine& CurrentMachine();

// What a file call does with a host symbolic link that is the path's last component:
// open what it points to (kFollow: CreateFileW, FindFirstFileW on "link\\*"), or act on the
// link itself (kItself: DeleteFileW, RemoveDirectoryW, GetFileAttributesW, CreateDirectoryW).
enum class LinkUse { kFollow, kItself };

// A Windows path as the sandbox holds it.
struct MappedPath {
  std::string host;         // "" when the path is refused
  uint32_t error = 0;       // the Windows error of a refused path
  bool nullDevice = false;  // "NUL" (also "nul.txt", "C:\\x\\NUL"): writes vanish, reads are empty
  std::size_t length = 0;   // characters of the full Windows path ("C:\\x" is 4)
  bool longForm = false;    // given as "\\\\?\\C:\\...": no MAX_PATH limit
};

// Every path lands in the sandbox, as Windows would resolve it: "C:\\x" is <root>/C/x, "\\x"
// the current drive's root, "x" and "C:x" the simulated current directory; "." and ".." are
// resolved first and never climb above the drive's root; names are found without regard to
// case, trailing dots and blanks dropped. Refused: the empty path (ERROR_PATH_NOT_FOUND), UNC paths
// (ERROR_BAD_NETPATH), "\\\\?\\" and "\\\\.\\" other than before a drive path or NUL
// (ERROR_PATH_NOT_FOUND), invalid characters (ERROR_INVALID_NAME), device names other than NUL
// (ERROR_FILE_NOT_FOUND; as a folder ERROR_PATH_NOT_FOUND), full paths of 260 characters or more
// unless given in the long form (MAX_PATH; ERROR_PATH_NOT_FOUND), and paths that a host link inside
// the sandbox would lead out of, also through a link whose target does not exist
// (ERROR_PATH_NOT_FOUND). WOW64 redirection applies when redirect is set. Prepares the sandbox on
// first use.
MappedPath MapWindowsPath(const std::wstring& windowsPath, bool redirect, LinkUse use);

// Creates the drives, system folders, current directory and profile files in the sandbox once
// per machine; call with the lock held.
void EnsureSandboxReady();

// MapWindowsPath following links: the host path, or "" when the path is refused.
std::string MapPath(const std::wstring& windowsPath, bool redirect);

// Disk space of the drives (disk_space_host.cpp). A drive has the free bytes of the profile's
// "drives" when the machine is loaded, never more than the host's own disk has; the program's
// writes take from it and its deletions give back. TakeDriveSpace is false, and takes nothing,
// when the drive of the host path has fewer free bytes than asked.
uint64_t DriveFreeBytes(const std::string& host);
bool TakeDriveSpace(const std::string& host, uint64_t bytes);
void GiveBackDriveSpace(const std::string& host, uint64_t bytes);
// How many bytes the open file gets longer when count bytes are written at offset.
uint64_t GrowthOfWrite(int descriptor, uint64_t offset, uint64_t count);
// The size of the regular file at host; 0 for anything else (a folder, a link, nothing).
uint64_t RegularFileSize(const std::string& host);

// A regular file with more than one name may have a name outside the sandbox (a hard link
// planted there), so it is never written in place: WriteAfresh gives the name a file of its
// own before a call truncates it (false when that fails), and MayChangeInPlace is false for
// it where a call would change it without truncating (a write handle, an attribute).
// (disk_space_host.cpp, with the other accounting of the files' bytes.)
bool WriteAfresh(const std::string& host);
bool MayChangeInPlace(const std::string& host);

// Names without regard to case (folder_index.cpp). FindNameNoCase: the entry of the host
// folder whose name equals name but for case, "" when none. The machine's file calls report
// the names they make and remove, so the folder's index stays current without a new listing.
std::string FindNameNoCase(const std::string& folder, const std::string& name);
void NoteNameAdded(const std::string& host);
void NoteNameRemoved(const std::string& host);

// The Windows error of a failed host call (files_host.cpp), so that the machine's calls report
// what Windows reports: ENOENT and ENOTDIR (a missing folder on the way) are
// ERROR_PATH_NOT_FOUND, ENOSPC ERROR_DISK_FULL, EEXIST ERROR_ALREADY_EXISTS (as CreateDirectoryW
// says it), and what the host refuses for rights, a folder opened as a file and the like
// ERROR_ACCESS_DENIED.
uint32_t WindowsErrorOfErrno(int errnoValue);

// Share modes (file_handles_host.cpp): whether opening the file at host with CreateFileW's
// access and share mode meets a handle of the program that does not share what the new one
// asks, or that asks what the new one does not share. Windows fails such an open with
// ERROR_SHARING_VIOLATION: an archive being read cannot be overwritten by its own entry.
bool SharingViolation(const std::string& host, uint32_t access, uint32_t shareMode);

// Whether name is a variable Windows defines for the machine or the user (TMP, TEMP,
// SystemRoot, USERPROFILE, ...): the simulated process takes it from the profile alone, never
// from the host, whose values are host paths.
bool IsMachineVariable(const std::string& name);

// Folders for administrators only (admin_folders_host.cpp). InAdminOnlyFolder: the host path
// is such a folder or lies below one. RefusedToNonAdministrator: the calling thread acts as a
// user without elevation (ScopedNonAdministrator) and the path is in such a folder, so every
// change there fails with ERROR_ACCESS_DENIED. ForgetAdminOnlyFolder: the folder is gone.
bool InAdminOnlyFolder(const std::string& host);
bool RefusedToNonAdministrator(const std::string& host);
void ForgetAdminOnlyFolder(const std::string& host);

// Wow64DisableWow64FsRedirection on the calling thread (files.h's ScopedFsRedirectionOff).
void SetFsRedirectionOff(bool off);
bool FsRedirectionOff();

// The value of an environment variable the profile sets (names without regard to case).
bool ProfileEnvironmentVariable(const std::string& name, std::string* value);

}  // namespace sim
}  // namespace orvex
