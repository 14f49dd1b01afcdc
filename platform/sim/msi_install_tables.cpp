#include "platform/sim/msi_install_tables.h"

#include <cctype>
#include <cstdint>
#include <set>

#include "base/text.h"
#include "platform/environment.h"

namespace orvex {
namespace sim {
namespace {

constexpr int kComponent64Bit = 256;  // msidbComponentAttributes64bit
// Deeper Directory chains than this are taken as a loop.
constexpr int kMaxDirectoryDepth = 64;

const std::string& Text(const MsiRow& row, std::size_t column) {
  static const std::string empty;
  return column < row.size() && !row[column].isNull ? row[column].text : empty;
}

bool EqualsNoCaseAscii(const std::string& a, const char* b) {
  std::size_t at = 0;
  for (; at < a.size() && b[at]; ++at)
    if (std::tolower(static_cast<unsigned char>(a[at])) !=
        std::tolower(static_cast<unsigned char>(b[at])))
      return false;
  return at == a.size() && !b[at];
}

bool IsNull(const MsiRow& row, std::size_t column) {
  return column >= row.size() || row[column].isNull;
}

std::string WithBackslash(std::string path) {
  if (!path.empty() && path.back() != '\\') path += '\\';
  return path;
}

std::string Property(const MsiProperties& properties, const std::string& name) {
  auto found = properties.find(name);
  return found == properties.end() ? std::string() : found->second;
}

// The target name of a DefaultDir or FileName value: "[short|]long[:source]".
std::string TargetName(const std::string& value) {
  std::string target = value.substr(0, value.find(':'));
  const std::size_t bar = target.find('|');
  return bar == std::string::npos ? target : target.substr(bar + 1);
}

const MsiRow* FindRow(const std::vector<MsiRow>& rows, const std::string& key) {
  for (const MsiRow& row : rows)
    if (Text(row, 0) == key) return &row;
  return nullptr;
}

std::string ResolveDirectory(const MsiTables& tables, const MsiProperties& folders,
                             const std::string& key, int depth, MsiProperties* properties) {
  const std::string set = Property(*properties, key);
  if (!set.empty()) return (*properties)[key] = WithBackslash(set);
  std::string path;
  const std::string standard = Property(folders, key);
  const MsiRow* row = FindRow(tables.directories, key);
  if (!standard.empty()) {
    path = standard;
  } else if (key == "TARGETDIR" || !row || depth > kMaxDirectoryDepth) {
    const std::string rootDrive = Property(*properties, "ROOTDRIVE");
    path = WithBackslash(rootDrive.empty() ? Property(folders, "ROOTDRIVE") : rootDrive);
  } else {
    const std::string& parent = Text(*row, 1);
    path = parent.empty() || parent == key
               ? WithBackslash(Property(folders, "ROOTDRIVE"))
               : ResolveDirectory(tables, folders, parent, depth + 1, properties);
    const std::string name = TargetName(Text(*row, 2));
    if (!name.empty() && name != ".") path += name + "\\";
  }
  (*properties)[key] = path;
  return path;
}

std::string ComponentDirectory(const MsiTables& tables, const MsiProperties& properties,
                               const std::string& component) {
  const MsiRow* row = FindRow(tables.components, component);
  return row ? Property(properties, Text(*row, 1)) : std::string();
}

std::string FilePath(const MsiTables& tables, const MsiProperties& properties,
                     const std::string& fileKey) {
  const MsiRow* row = FindRow(tables.files, fileKey);
  if (!row) return std::string();
  return ComponentDirectory(tables, properties, Text(*row, 1)) + TargetName(Text(*row, 2));
}

std::string Bracketed(const std::string& inner, const MsiTables& tables,
                      const MsiProperties& properties) {
  if (inner.empty()) return "[]";
  switch (inner[0]) {
    case '~':
      return inner.size() == 1 ? std::string(1, '\0') : Property(properties, inner);
    case '\\':
      return inner.substr(1, 1);
    case '%':
      return platform::EnvironmentVariable(inner.substr(1).c_str());
    case '#':
    case '!':
      return FilePath(tables, properties, inner.substr(1));
    case '$':
      return ComponentDirectory(tables, properties, inner.substr(1));
    default:
      return Property(properties, inner);
  }
}

void AppendUtf16(const std::wstring& text, std::vector<uint8_t>* data) {
  for (wchar_t unit : text) {
    data->push_back(static_cast<uint8_t>(unit & 0xFF));
    data->push_back(static_cast<uint8_t>((unit >> 8) & 0xFF));
  }
  data->push_back(0);
  data->push_back(0);
}

platform::RegistryValue TextValue(uint32_t type, const std::string& text) {
  platform::RegistryValue value;
  value.type = type;
  AppendUtf16(Utf8ToWide(text), &value.data);
  return value;
}

bool ParseInteger(const std::string& text, int64_t* number) {
  std::size_t at = 0;
  const bool negative = !text.empty() && (text[0] == '-' || text[0] == '+') && text[at++] == '-';
  if (at >= text.size()) return false;
  int64_t magnitude = 0;
  for (; at < text.size(); ++at) {
    if (!std::isdigit(static_cast<unsigned char>(text[at]))) return false;
    magnitude = magnitude * 10 + (text[at] - '0');
    if (magnitude > 0xFFFFFFFFll) return false;
  }
  *number = negative ? -magnitude : magnitude;
  return true;
}

platform::RegistryValue BinaryValue(std::string hex) {
  platform::RegistryValue value;
  value.type = platform::kRegBinary;
  if (hex.size() % 2) hex.insert(0, "0");
  for (std::size_t at = 0; at + 1 < hex.size(); at += 2) {
    const std::string pair = hex.substr(at, 2);
    if (!std::isxdigit(static_cast<unsigned char>(pair[0])) ||
        !std::isxdigit(static_cast<unsigned char>(pair[1])))
      break;
    value.data.push_back(static_cast<uint8_t>(std::stoul(pair, nullptr, 16)));
  }
  return value;
}

// "a[~]b" and the like: the non-empty pieces, each formatted.
platform::RegistryValue MultiStringValue(const std::string& raw, const MsiTables& tables,
                                         const MsiProperties& properties) {
  platform::RegistryValue value;
  value.type = platform::kRegMultiSz;
  std::size_t start = 0;
  while (start <= raw.size()) {
    std::size_t end = raw.find("[~]", start);
    if (end == std::string::npos) end = raw.size();
    const std::string piece = FormatMsiText(raw.substr(start, end - start), tables, properties);
    if (!piece.empty()) AppendUtf16(Utf8ToWide(piece), &value.data);
    start = end + 3;
  }
  value.data.push_back(0);
  value.data.push_back(0);
  return value;
}

platform::RegistryValue TypedValue(const std::string& raw, const MsiTables& tables,
                                   const MsiProperties& properties) {
  if (raw.find("[~]") != std::string::npos) return MultiStringValue(raw, tables, properties);
  const std::string text = FormatMsiText(raw, tables, properties);
  if (text.size() < 2 || text[0] != '#') return TextValue(platform::kRegSz, text);
  if (text[1] == '#') return TextValue(platform::kRegSz, text.substr(1));
  if (text[1] == '%') return TextValue(platform::kRegExpandSz, text.substr(2));
  if (text[1] == 'x' || text[1] == 'X') return BinaryValue(text.substr(2));
  int64_t number = 0;
  if (!ParseInteger(text.substr(1), &number)) return TextValue(platform::kRegSz, text.substr(1));
  const uint32_t dword = static_cast<uint32_t>(number);
  platform::RegistryValue value;
  value.type = platform::kRegDword;
  for (int shift = 0; shift < 32; shift += 8) value.data.push_back((dword >> shift) & 0xFF);
  return value;
}

// Under SOFTWARE\Classes only these keys have a 32-bit view of their own on 64-bit Windows;
// file types, programmatic names and the rest are shared by both views.
bool IsRedirectedClassesKey(const std::string& key) {
  const std::string first = key.substr(0, key.find('\\'));
  for (const char* redirected :
       {"CLSID", "DirectShow", "Interface", "Media Type", "MediaFoundation"}) {
    if (EqualsNoCaseAscii(first, redirected)) return true;
  }
  return false;
}

}  // namespace

MsiProperties StandardFolders(bool machineIs64Bit) {
  auto env = [](const char* name) { return platform::EnvironmentVariable(name); };
  const std::string systemRoot = env("SystemRoot");
  const std::string drive = env("SystemDrive").empty() ? "C:" : env("SystemDrive");
  const std::string programData =
      env("ProgramData").empty() ? env("ALLUSERSPROFILE") : env("ProgramData");
  const std::string publicFolder = env("PUBLIC");
  const MsiProperties given = {
      {"ROOTDRIVE", drive},
      {"WindowsFolder", systemRoot},
      {"SystemFolder",
       systemRoot.empty() ? "" : systemRoot + (machineIs64Bit ? "\\SysWOW64" : "\\System32")},
      {"System64Folder", machineIs64Bit && !systemRoot.empty() ? systemRoot + "\\System32" : ""},
      {"ProgramFilesFolder", machineIs64Bit ? env("ProgramFiles(x86)") : env("ProgramFiles")},
      {"ProgramFiles64Folder", machineIs64Bit ? env("ProgramW6432") : ""},
      {"CommonFilesFolder",
       machineIs64Bit ? env("CommonProgramFiles(x86)") : env("CommonProgramFiles")},
      {"CommonFiles64Folder", machineIs64Bit ? env("CommonProgramW6432") : ""},
      {"CommonAppDataFolder", programData},
      {"AppDataFolder", env("APPDATA")},
      {"LocalAppDataFolder", env("LOCALAPPDATA")},
      {"TempFolder", env("TEMP")},
      {"CommonDesktopFolder", publicFolder.empty() ? "" : publicFolder + "\\Desktop"},
      {"PersonalFolder", env("USERPROFILE").empty() ? "" : env("USERPROFILE") + "\\Documents"},
  };
  MsiProperties folders;
  for (const auto& entry : given)
    if (!entry.second.empty()) folders[entry.first] = WithBackslash(entry.second);
  return folders;
}

void ResolveDirectories(const MsiTables& tables, const MsiProperties& folders,
                        MsiProperties* properties) {
  // Set by this run only: a directory whose property the package or the command line gives
  // keeps it, every other is resolved from its parent.
  for (const MsiRow& row : tables.directories) {
    if (Text(row, 0).empty()) continue;
    ResolveDirectory(tables, folders, Text(row, 0), 0, properties);
  }
}

std::string FormatMsiText(const std::string& text, const MsiTables& tables,
                          const MsiProperties& properties) {
  std::string formatted;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t open = text.find('[', at);
    const std::size_t close = open == std::string::npos ? open : text.find(']', open + 1);
    // "[\]]" is an escaped bracket: the first "]" is its content.
    const bool escapedClose =
        close != std::string::npos && close == open + 2 && text[open + 1] == '\\';
    if (close == std::string::npos) {
      formatted += text.substr(at);
      break;
    }
    formatted += text.substr(at, open - at);
    if (escapedClose) {
      formatted += ']';
      at = close + 1 < text.size() && text[close + 1] == ']' ? close + 2 : close + 1;
      continue;
    }
    formatted += Bracketed(text.substr(open + 1, close - open - 1), tables, properties);
    at = close + 1;
  }
  return formatted;
}

std::vector<MsiRegistryWrite> RegistryWrites(const MsiTables& tables,
                                             const MsiProperties& properties) {
  const bool perMachine = !Property(properties, "ALLUSERS").empty();
  std::vector<MsiRegistryWrite> writes;
  for (const MsiRow& row : tables.registry) {
    const std::string& root = Text(row, 0);
    const bool classes = root == "0";
    if (!(root == "2" || (root == "-1" && perMachine) || (classes && perMachine)))
      continue;  // the user's hives
    const std::string key = FormatMsiText(Text(row, 1), tables, properties);
    if (key.empty()) continue;
    MsiRegistryWrite write;
    write.key = Utf8ToWide(classes ? "SOFTWARE\\Classes\\" + key : key);
    const std::string name = FormatMsiText(Text(row, 2), tables, properties);
    write.keyOnly = IsNull(row, 3) && (name == "+" || name == "-" || name == "*");
    write.name = Utf8ToWide(name);
    if (!write.keyOnly) write.value = TypedValue(Text(row, 3), tables, properties);
    const MsiRow* component = FindRow(tables.components, Text(row, 4));
    int attributes = 0;
    if (component) {
      int64_t number = 0;
      if (ParseInteger(Text(*component, 2), &number)) attributes = static_cast<int>(number);
    }
    const bool shared = classes && !IsRedirectedClassesKey(key);
    write.view = attributes & kComponent64Bit || shared ? platform::RegistryView::k64Bit
                                                        : platform::RegistryView::k32Bit;
    writes.push_back(write);
  }
  return writes;
}

std::vector<std::string> FoldersToCreate(const MsiTables& tables, const MsiProperties& properties) {
  std::vector<std::string> folders;
  std::set<std::string> seen;
  auto add = [&](const std::string& folder) {
    if (!folder.empty() && seen.insert(folder).second) folders.push_back(folder);
  };
  for (const MsiRow& row : tables.createFolders) add(Property(properties, Text(row, 0)));
  for (const MsiRow& file : tables.files)
    add(ComponentDirectory(tables, properties, Text(file, 1)));
  return folders;
}

}  // namespace sim
}  // namespace orvex
