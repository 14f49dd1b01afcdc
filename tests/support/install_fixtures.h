#pragma once
// Cabinets and Windows Installer packages built with the tests (tests/CMakeLists.txt), placed
// where the installer would find them: into the simulated machine's sandbox on the host, under
// Wine into the prefix's temporary folder.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <filesystem>

#include "platform/sim/machine.h"
#endif

#include "base/text.h"
#include "platform/files.h"

namespace orvex {
namespace test {

inline std::string CabinetFixture(const std::string& name) {
  return std::string(ORVEX_CABINET_FIXTURES) + "/" + name;
}

inline std::string ZipFixture(const std::string& name) {
  return std::string(ORVEX_UNPACK_ZIPS) + "/" + name;
}

inline std::string PackageFixture(const std::string& name) {
  return std::string(ORVEX_MSI_FIXTURES) + "/" + name;
}

// A new, empty folder in the machine's temporary folder: "<TEMP>\\<stem>-<n>".
inline std::wstring NewWorkFolder(const std::string& stem) {
  static int counter = 0;
  const std::wstring temp = platform::TempPath();
  std::wstring folder;
  uint32_t error = 0;
  do {
    folder = temp + Utf8ToWide(stem + "-" + std::to_string(++counter));
  } while (!platform::MakeDirectory(folder, &error) && counter < 10000);
  return folder;
}

// Copies a fixture (a path of the build machine) to folder\\name; true on success.
inline bool PlaceFixture(const std::string& fixture, const std::wstring& folder,
                         const std::string& name) {
  const std::wstring target = folder + L"\\" + Utf8ToWide(name);
#ifdef _WIN32
  std::wstring source = L"Z:";
  for (char c : fixture) source += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  return CopyFileW(source.c_str(), target.c_str(), FALSE) != FALSE;
#else
  std::error_code failed;
  std::filesystem::copy_file(fixture, sim::HostPath(target),
                             std::filesystem::copy_options::overwrite_existing, failed);
  return !failed;
#endif
}

// Writes content as the whole file at path; true on success.
inline bool WriteWholeFile(const std::wstring& path, const std::string& content) {
  platform::ScopedFile file = platform::OpenForWriting(path, nullptr);
  if (!file) return false;
  const bool written = std::fwrite(content.data(), 1, content.size(), file.get()) == content.size();
  return platform::CloseFile(std::move(file)) && written;
}

// The whole content of a file, or "<missing>".
inline std::string ReadWholeFile(const std::wstring& path) {
  platform::ScopedFile file = platform::OpenForReading(path, nullptr);
  if (!file) return "<missing>";
  std::string content;
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) content.append(buffer, got);
  return content;
}

// The names in a folder, "." and ".." left out, in the order the search gives them.
inline std::vector<std::string> FolderNames(const std::wstring& folder) {
  std::vector<std::string> names;
  platform::FindData entry;
  auto search = platform::StartFileSearch(folder + L"\\*", &entry);
  if (!search) return names;
  uint32_t error = 0;
  do {
    if (entry.name != L"." && entry.name != L"..") names.push_back(WideToUtf8(entry.name));
  } while (search->Next(&entry, &error));
  return names;
}

}  // namespace test
}  // namespace orvex
