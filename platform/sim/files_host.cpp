// File opening on the host: wide paths are turned into UTF-8, the file-name encoding of the
// host's file system. Windows also separates folders with a backslash, which the installer
// uses when it builds paths (directory + "\\" + file); on the host that is a slash, not a
// character of a file name.
#include <cerrno>
#include <cstdio>

#include "platform/files.h"

namespace orvex {
namespace platform {

namespace {

// Encodes one code point; values that are not scalar values (surrogates, beyond U+10FFFF)
// become U+FFFD.
void AppendUtf8(std::string& out, unsigned long point) {
  if ((point >= 0xD800 && point <= 0xDFFF) || point > 0x10FFFF) point = 0xFFFD;
  if (point < 0x80) {
    out += static_cast<char>(point);
  } else if (point < 0x800) {
    out += static_cast<char>(0xC0 | (point >> 6));
    out += static_cast<char>(0x80 | (point & 0x3F));
  } else if (point < 0x10000) {
    out += static_cast<char>(0xE0 | (point >> 12));
    out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (point >> 18));
    out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (point & 0x3F));
  }
}

std::string ToUtf8Path(const std::wstring& path) {
  std::string out;
  for (wchar_t unit : path)
    AppendUtf8(out, unit == L'\\' ? '/' : static_cast<unsigned long>(unit));
  return out;
}

}  // namespace

std::FILE* OpenForWriting(const std::wstring& path, int* error) {
  errno = 0;
  std::FILE* file = std::fopen(ToUtf8Path(path).c_str(), "wb");
  if (!file && error) *error = errno;
  return file;
}

}  // namespace platform
}  // namespace orvex
