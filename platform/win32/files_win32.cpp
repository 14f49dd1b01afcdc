#include <cerrno>
#include <cstdio>

#include "platform/files.h"

namespace orvex {
namespace platform {

std::FILE* OpenForWriting(const std::wstring& path, int* error) {
  errno = 0;
  std::FILE* file = _wfopen(path.c_str(), L"wb");
  if (!file && error) *error = errno;
  return file;
}

}  // namespace platform
}  // namespace orvex
