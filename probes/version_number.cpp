#include "probes/version_number.h"

#include <cstdio>

namespace orvex {

int ParseVersionNumber(const std::string& text, std::size_t start, std::size_t* separator) {
  const std::size_t found = start <= text.size() ? text.find('.', start) : std::string::npos;
  if (separator) *separator = found;
  if (start > text.size()) return 0;
  const std::string piece =
      text.substr(start, found == std::string::npos ? std::string::npos : found - start);
  int number = 0;
  if (std::sscanf(piece.c_str(), "%d", &number) != 1) return 0;
  return number;
}

void ParseMajorMinor(const std::string& text, int* major, int* minor) {
  std::size_t separator = std::string::npos;
  *major = ParseVersionNumber(text, 0, &separator);
  *minor = separator == std::string::npos ? 0 : ParseVersionNumber(text, separator + 1, nullptr);
}

}  // namespace orvex
