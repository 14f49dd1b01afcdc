// orvex-restart-recorder.exe: stands in for Wine's wineboot.exe in the end-to-end harness's
// prefix. ExitWindowsEx under Wine runs "wineboot.exe --end-session" to restart the prefix;
// this records the request (its command line, one line) in the file named by
// ORVEX_RESTART_RECORD and does nothing else, so a restart the installer asks for is seen
// by the test and carried out nowhere.
#include <windows.h>

#include <cstdio>

int main() {
  wchar_t path[MAX_PATH] = {};
  if (GetEnvironmentVariableW(L"ORVEX_RESTART_RECORD", path, MAX_PATH) == 0) return 1;
  FILE* record = _wfopen(path, L"a");
  if (!record) return 1;
  std::fprintf(record, "%ls\n", GetCommandLineW());
  std::fclose(record);
  return 0;
}
