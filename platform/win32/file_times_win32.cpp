#include "platform/file_times.h"

#include <windows.h>

namespace orvex {
namespace platform {

namespace {

uint64_t FromFileTime(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

bool LastWriteTime(const std::wstring& path, uint64_t* fileTime) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
  *fileTime = FromFileTime(data.ftLastWriteTime);
  return true;
}

uint64_t CurrentFileTime() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return FromFileTime(now);
}

}  // namespace platform
}  // namespace orvex
