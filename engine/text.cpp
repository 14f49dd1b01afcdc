#include "engine/text.h"

namespace orvex {

std::string& ReplaceAll(std::string& text, const std::string& pattern,
                        const std::string& replacement) {
  if (pattern.empty()) return text;
  std::size_t pos = 0;
  while ((pos = text.find(pattern, pos)) != std::string::npos) {
    text.replace(pos, pattern.size(), replacement);
    pos += replacement.size();
  }
  return text;
}

}  // namespace orvex
