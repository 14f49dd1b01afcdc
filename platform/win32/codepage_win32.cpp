#include "base/codepage.h"

#include <windows.h>

#include "base/text.h"

namespace orvex {

std::wstring ToWide(const std::string& text) {
  if (text.empty()) return std::wstring();
  int length =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
  return wide;
}

}  // namespace orvex

namespace orvex {

std::string ToAnsi(const std::wstring& text) {
  if (text.empty()) return std::string();
  int length = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr,
                                   0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string narrow(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &narrow[0], length,
                      nullptr, nullptr);
  return narrow;
}

}  // namespace orvex
