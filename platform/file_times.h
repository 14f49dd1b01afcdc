#pragma once
// File times as FILETIME values: 100-nanosecond intervals since 1601-01-01, UTC.

#include <cstdint>
#include <string>

namespace orvex {
namespace platform {

constexpr uint64_t kFileTimeTicksPerSecond = 10000000ull;

// GetFileAttributesExW(path, GetFileExInfoStandard): the last write time of a file or folder
// (a link itself, not what it points to). False when path cannot be read.
[[nodiscard]] bool LastWriteTime(const std::wstring& path, uint64_t* fileTime);

// GetSystemTimeAsFileTime: now.
uint64_t CurrentFileTime();

}  // namespace platform
}  // namespace orvex
