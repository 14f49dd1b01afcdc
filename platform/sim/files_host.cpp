// File opening on the host: wide paths are turned into UTF-8, the file-name encoding of the
// host's file system. Windows also separates folders with a backslash, which the installer
// uses when it builds paths (directory + "\\" + file); on the host that is a slash, not a
// character of a file name.
#include <cerrno>
#include <cstdio>

#include "engine/text.h"
#include "platform/files.h"

namespace orvex {
namespace platform {

std::FILE* OpenForWriting(const std::wstring& path, int* error) {
  std::string hostPath = WideToUtf8(path);
  ReplaceAll(hostPath, "\\", "/");
  errno = 0;
  std::FILE* file = std::fopen(hostPath.c_str(), "wb");
  if (!file && error) *error = errno;
  return file;
}

}  // namespace platform
}  // namespace orvex
