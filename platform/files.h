#pragma once
// Opening files by their wide (Windows) path.

#include <cstdio>
#include <string>

namespace orvex {
namespace platform {

// Opens path for writing in binary mode, created or truncated ("wb"). On failure returns
// null and stores the error number (errno) in *error.
std::FILE* OpenForWriting(const std::wstring& path, int* error);

}  // namespace platform
}  // namespace orvex
