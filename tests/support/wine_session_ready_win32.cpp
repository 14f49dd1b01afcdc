// The Wine test binary starts a fresh Wine session: the prefix's services.exe comes up a moment
// after the first program, and a test that opens the service manager or lists the processes in
// that moment finds nothing. Before any test runs, this waits (at most a minute) until the
// service manager answers and services.exe is listed; when it never does, the tests that need
// it fail with their own messages.
#include <windows.h>
#include <gtest/gtest.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cwchar>

namespace orvex {
namespace {

bool ServiceManagerAnswers() {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  if (!manager) return false;
  CloseServiceHandle(manager);
  return true;
}

bool ServicesProcessListed() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return false;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  bool found = false;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
       more = Process32NextW(snapshot, &entry))
    found = _wcsicmp(entry.szExeFile, L"services.exe") == 0;
  CloseHandle(snapshot);
  return found;
}

class WineSessionReady : public ::testing::Environment {
 public:
  void SetUp() override {
    const DWORD kMostWaitMs = 60000;  // a cold session on a loaded 2-core machine
    const DWORD started = GetTickCount();
    while (!(ServiceManagerAnswers() && ServicesProcessListed())) {
      if (GetTickCount() - started > kMostWaitMs) {
        std::fprintf(stderr, "the Wine session's service manager did not come up\n");
        return;
      }
      Sleep(100);
    }
  }
};

// Registered before main runs; gtest owns the environment.
::testing::Environment* const g_wineSessionReady =
    ::testing::AddGlobalTestEnvironment(new WineSessionReady);

}  // namespace
}  // namespace orvex
