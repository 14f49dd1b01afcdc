#include "platform/process.h"

#include <windows.h>

namespace orvex {
namespace platform {

std::string ExecutablePath() {
  char buffer[260];
  DWORD length = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
  return std::string(buffer, length);
}

std::vector<std::string> EnvironmentEntries() {
  std::vector<std::string> entries;
  LPCH block = GetEnvironmentStringsA();
  if (!block) return entries;
  for (const char* entry = block; *entry; entry += entries.back().size() + 1)
    entries.emplace_back(entry);
  FreeEnvironmentStringsA(block);
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

char PathSeparator() { return '\\'; }

}  // namespace platform
}  // namespace orvex
