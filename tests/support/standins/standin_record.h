#pragma once
// What the test stand-ins for outside programs share: writing a record beside their own
// executable, where the test that started them reads it.
#include <windows.h>

#include <string>

namespace orvex {
namespace standin {

inline std::wstring OwnFolder() {
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring own(path, length);
  const std::size_t cut = own.find_last_of(L'\\');
  return cut == std::wstring::npos ? std::wstring(L".") : own.substr(0, cut);
}

inline std::string Utf8(const std::wstring& text) {
  if (text.empty()) return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &narrow[0], size,
                      nullptr, nullptr);
  return narrow;
}

// Writes lines (UTF-8, LF) to fileName in the stand-in's folder, replacing an older record.
inline void WriteRecord(const wchar_t* fileName, const std::string& lines) {
  const std::wstring path = OwnFolder() + L"\\" + fileName;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
  CloseHandle(file);
}

}  // namespace standin
}  // namespace orvex
