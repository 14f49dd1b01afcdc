#include "platform/process_list.h"

#include <windows.h>
// tlhelp32.h needs the types windows.h declares.
#include <tlhelp32.h>

#include <vector>

#include "platform/win32/scoped_handle.h"

namespace orvex {
namespace platform {

bool ListRunningProcesses(std::vector<RunningProcess>* processes) {
  ScopedFileHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.IsValid()) return false;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  std::vector<RunningProcess> found;
  for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
       more = Process32NextW(snapshot.Get(), &entry)) {
    RunningProcess process;
    process.processId = entry.th32ProcessID;
    process.exeName = entry.szExeFile;
    found.push_back(process);
  }
  if (processes) *processes = std::move(found);
  return true;
}

uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

bool ProcessOwner(uint32_t processId, std::wstring* account) {
  HANDLE opened = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, processId);
  // Protected processes grant only the limited right (Vista and later).
  if (!opened) opened = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
  ScopedKernelObject process(opened);
  if (!process.IsValid()) return false;
  ScopedKernelObject token;
  if (!OpenProcessToken(process.Get(), TOKEN_QUERY, token.Receive())) return false;
  DWORD size = 0;
  GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
  if (size == 0) return false;
  std::vector<unsigned char> buffer(size);
  if (!GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size)) return false;
  PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
  wchar_t name[256] = {};
  wchar_t domain[256] = {};
  DWORD nameChars = 256, domainChars = 256;
  SID_NAME_USE use;
  if (!LookupAccountSidW(nullptr, sid, name, &nameChars, domain, &domainChars, &use)) return false;
  if (account) *account = std::wstring(domain) + L"\\" + name;
  return true;
}

}  // namespace platform
}  // namespace orvex
