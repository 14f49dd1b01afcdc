// The simulated machine's ANSI code page is Windows-1252, that of an English Windows.
#include "base/codepage.h"

#include <cstdint>

#include "base/text.h"

namespace orvex {

namespace {

// 0x80..0x9F differ from Latin-1; 0 marks the five bytes the code page leaves undefined,
// which Windows maps to the control characters of the same value.
const uint16_t k1252[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                            0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

}  // namespace

std::wstring ToWide(const std::string& text) {
  std::wstring wide;
  wide.reserve(text.size());
  for (unsigned char byte : text) {
    uint16_t unit = byte;
    if (byte >= 0x80 && byte < 0xA0 && k1252[byte - 0x80]) unit = k1252[byte - 0x80];
    wide.push_back(static_cast<wchar_t>(unit));
  }
  return wide;
}

std::string ToAnsi(const std::wstring& text) {
  // Characters outside the code page become '?', as WideCharToMultiByte's default character.
  std::string narrow;
  narrow.reserve(text.size());
  for (wchar_t unit : text) {
    uint32_t code = static_cast<uint32_t>(unit);
    char byte = '?';
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
      byte = static_cast<char>(code);
    } else {
      for (int i = 0; i < 32; ++i)
        if (k1252[i] ? k1252[i] == code : 0x80u + i == code) byte = static_cast<char>(0x80 + i);
    }
    narrow.push_back(byte);
  }
  return narrow;
}

}  // namespace orvex
