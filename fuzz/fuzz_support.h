#pragma once
// Shared pieces of the fuzz targets.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace orvex {
namespace fuzz {

// Runs work and swallows the exceptions the engine lets escape by design: the JSON library's
// type and parse errors and the regular-expression library's errors. Anything else escapes
// and is reported by the fuzzer as a crash.
void RunTolerant(const std::function<void()>& work);

inline std::string Text(const uint8_t* data, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

}  // namespace fuzz
}  // namespace orvex
