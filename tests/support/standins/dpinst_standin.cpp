// Stands in for the Driver Package Installer in the tests: records its command line, counts
// the .inf files in the folder after "/PATH" and exits as dpinst does: the number of packages
// installed in the low byte, 0x40000000 when "restart.marker" is in the folder (a restart is
// needed), 0x80000000 when "fail.marker" is (a package failed). When "sleep.marker" is there,
// it first sleeps the seconds that file holds, as a hung installation would. Record:
// dpinst-record.txt beside the executable, written at the end.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/standins/standin_record.h"

namespace {

bool IsFile(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The whole seconds written in the file; 0 when there is none.
unsigned SecondsIn(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  char text[16] = {};
  DWORD got = 0;
  ReadFile(file, text, sizeof text - 1, &got, nullptr);
  CloseHandle(file);
  return static_cast<unsigned>(std::strtoul(text, nullptr, 10));
}

unsigned CountInfFiles(const std::wstring& folder) {
  WIN32_FIND_DATAW entry;
  HANDLE search = FindFirstFileW((folder + L"\\*.inf").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return 0;
  unsigned count = 0;
  do {
    if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) ++count;
  } while (FindNextFileW(search, &entry));
  FindClose(search);
  return count;
}

}  // namespace

// A window program: started by the shell it opens no console.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  const wchar_t* commandLine = GetCommandLineW();
  int count = 0;
  wchar_t** argv = CommandLineToArgvW(commandLine, &count);
  std::wstring folder;
  std::wstring options;
  for (int i = 1; argv && i < count; ++i) {
    if (lstrcmpiW(argv[i], L"/PATH") == 0 && i + 1 < count) {
      folder = argv[++i];
      continue;
    }
    options += (options.empty() ? L"" : L" ") + std::wstring(argv[i]);
  }
  if (argv) LocalFree(argv);

  if (!folder.empty()) Sleep(SecondsIn(folder + L"\\sleep.marker") * 1000);
  const unsigned installed = folder.empty() ? 0 : CountInfFiles(folder);
  DWORD code = installed & 0xFF;
  if (IsFile(folder + L"\\restart.marker")) code |= 0x40000000;
  if (IsFile(folder + L"\\fail.marker")) code |= 0x80000000;

  char exitText[16];
  std::snprintf(exitText, sizeof exitText, "0x%08lX", static_cast<unsigned long>(code));
  orvex::standin::WriteRecord(L"dpinst-record.txt",
                              "commandline=" + orvex::standin::Utf8(commandLine) + "\n" +
                                  "options=" + orvex::standin::Utf8(options) + "\n" +
                                  "path=" + orvex::standin::Utf8(folder) + "\n" + "installed=" +
                                  std::to_string(installed) + "\n" + "exit=" + exitText + "\n");
  ExitProcess(code);
}
