#pragma once
// What Windows Installer does with a package's Directory, Component, File, CreateFolder and
// Registry tables when the simulated machine installs it: the directories resolved to paths
// (CostFinalize), formatted texts ("[INSTALLDIR]", "[#file]", "[$component]", "[%VAR]"), the
// folders created (CreateFolders) and the registry values written (WriteRegistryValues).
// Only files in platform/sim/ include this.

#include <map>
#include <string>
#include <vector>

#include "platform/registry.h"

namespace orvex {
namespace sim {

// One field of a table row: null, or its text (integer fields as their decimal text).
struct MsiCell {
  bool isNull = true;
  std::string text;
};
using MsiRow = std::vector<MsiCell>;

// The rows the installation needs, in the columns named.
struct MsiTables {
  std::vector<MsiRow> directories;    // Directory, Directory_Parent, DefaultDir
  std::vector<MsiRow> components;     // Component, Directory_, Attributes
  std::vector<MsiRow> files;          // File, Component_, FileName
  std::vector<MsiRow> createFolders;  // Directory_, Component_
  std::vector<MsiRow> registry;       // Root, Key, Name, Value, Component_
};

using MsiProperties = std::map<std::string, std::string>;

// The machine's folders as Windows Installer names them ("ProgramFilesFolder", ...), each with
// a trailing backslash, for a 32-bit or 64-bit machine; from the machine's environment.
MsiProperties StandardFolders(bool machineIs64Bit);

// Sets the property of every directory to its path with a trailing backslash: a directory
// whose property is already set (the command line's INSTALLDIR=...) keeps that value, a
// standard folder is the machine's, TARGETDIR is ROOTDRIVE (the system drive), and any other
// is its parent's path and its target name ("." stays in the parent).
void ResolveDirectories(const MsiTables& tables, const MsiProperties& folders,
                        MsiProperties* properties);

// A formatted text with its bracketed parts replaced: [NAME] by the property (empty when
// unset), [%NAME] by the environment variable, [#file] and [!file] by the file's full path,
// [$component] by the component's directory, [\c] by c, [~] by a zero character. Brackets do
// not nest.
std::string FormatMsiText(const std::string& text, const MsiTables& tables,
                          const MsiProperties& properties);

// One value the Registry table writes under HKEY_LOCAL_MACHINE.
struct MsiRegistryWrite {
  platform::RegistryView view = platform::RegistryView::k32Bit;
  std::wstring key;
  bool keyOnly = false;  // "+", "-" or "*" without a value: the key alone is created
  std::wstring name;     // "" for the key's default value
  platform::RegistryValue value;
};

// The writes of the Registry table, in its order. Root -1 is HKEY_LOCAL_MACHINE for a
// per-machine installation (ALLUSERS set) and the user's hive otherwise, 0 is
// HKEY_CLASSES_ROOT (SOFTWARE\Classes of the same hive), 2 HKEY_LOCAL_MACHINE; rows of the
// user's hives (1, 3, and -1 or 0 per user) are left out: the machine holds only
// HKEY_LOCAL_MACHINE. A value is formatted, then typed by its prefix: "#x" binary (hex
// digits), "#%" expandable text, "#" and an integer a DWORD, "##" a text beginning with "#",
// "[~]" anywhere a multi-string; anything else is a text. Components marked 64-bit (attribute
// 256) write the 64-bit view, the others the 32-bit one (WOW6432Node on a 64-bit machine),
// except under SOFTWARE\Classes, whose keys both views share but for CLSID, Interface and the
// like.
std::vector<MsiRegistryWrite> RegistryWrites(const MsiTables& tables,
                                             const MsiProperties& properties);

// The folders the installation creates: those of the CreateFolder table and the directories
// of the components that install files, each once, in table order.
std::vector<std::string> FoldersToCreate(const MsiTables& tables, const MsiProperties& properties);

}  // namespace sim
}  // namespace orvex
