#include "platform/process.h"

#include <windows.h>

#include <cwchar>

#include "base/text.h"

namespace orvex {
namespace platform {

std::string ExecutablePath() {
  wchar_t buffer[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  return WideToUtf8(std::wstring(buffer, length));
}

std::vector<std::string> EnvironmentEntries() {
  std::vector<std::string> entries;
  LPWCH block = GetEnvironmentStringsW();
  if (!block) return entries;
  for (const wchar_t* entry = block; *entry; entry += std::wcslen(entry) + 1)
    entries.push_back(WideToUtf8(entry));
  FreeEnvironmentStringsW(block);
  return entries;
}

LocalTime CurrentLocalTime() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  LocalTime t;
  t.year = now.wYear;
  t.month = now.wMonth;
  t.day = now.wDay;
  t.hour = now.wHour;
  t.minute = now.wMinute;
  t.second = now.wSecond;
  return t;
}

uint32_t AnsiCodePage() { return GetACP(); }

char PathSeparator() { return '\\'; }

}  // namespace platform
}  // namespace orvex
