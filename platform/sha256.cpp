#include "platform/sha256.h"

namespace orvex {
namespace platform {

std::string Sha256Text(const uint8_t (&digest)[kSha256Bytes]) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text;
  for (uint8_t byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 15];
  }
  return text;
}

}  // namespace platform
}  // namespace orvex
