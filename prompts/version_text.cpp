#include "prompts/version_text.h"

#include <cctype>
#include <climits>
#include <cstddef>

namespace orvex {

namespace {

// The path of an address: without its query and fragment, and without "scheme://authority"
// when it has them (a host name holds dots and dashes too).
std::string PathOfAddress(const std::string& address) {
  std::string path = address.substr(0, address.find_first_of("?#"));
  const std::size_t scheme = path.find("://");
  if (scheme != std::string::npos) {
    const std::size_t slash = path.find('/', scheme + 3);
    path = slash == std::string::npos ? std::string() : path.substr(slash);
  }
  return path;
}

}  // namespace

std::string CutVersionText(const std::string& fullAddress) {
  const std::string address = PathOfAddress(fullAddress);
  const std::size_t dot = address.rfind('.');
  std::size_t dash = std::string::npos;
  if (dot == std::string::npos)
    dash = address.rfind('-');
  else if (dot > 0)
    dash = address.rfind('-', dot - 1);
  const std::size_t start = dash == std::string::npos ? 0 : dash + 1;
  const std::size_t end = dot == std::string::npos ? address.size() : dot;
  return address.substr(start, end - start);
}

bool IsVersionText(const std::string& text) {
  std::size_t numbers = 0;
  std::size_t digits = 0;
  for (char c : text) {
    if (c == '.') {
      if (digits == 0) return false;
      ++numbers;
      digits = 0;
    } else if (std::isdigit(static_cast<unsigned char>(c)) && digits < 9) {
      ++digits;
    } else {
      return false;
    }
  }
  if (digits == 0) return false;
  ++numbers;
  return numbers >= 2 && numbers <= 4;
}

namespace {

// One "%d" at text[pos]: true with the clamped number and pos past it, false when no digits.
bool ReadNumber(const std::string& text, std::size_t& pos, int& number) {
  std::size_t at = pos;
  while (at < text.size() && std::isspace(static_cast<unsigned char>(text[at]))) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  if (at >= text.size() || !std::isdigit(static_cast<unsigned char>(text[at]))) return false;
  long long magnitude = 0;
  for (; at < text.size() && std::isdigit(static_cast<unsigned char>(text[at])); ++at) {
    if (magnitude <= static_cast<long long>(INT_MAX) + 1)
      magnitude = magnitude * 10 + (text[at] - '0');
  }
  if (negative)
    number =
        magnitude > static_cast<long long>(INT_MAX) + 1 ? INT_MIN : static_cast<int>(-magnitude);
  else
    number = magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
  pos = at;
  return true;
}

}  // namespace

std::array<int, 4> ParseVersionText(const std::string& text) {
  std::array<int, 4> parts{0, 0, 0, 0};
  std::size_t pos = 0;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) {
      if (pos >= text.size() || text[pos] != '.') break;
      ++pos;
    }
    if (!ReadNumber(text, pos, parts[i])) break;
  }
  return parts;
}

bool IsOlderVersion(const std::array<int, 3>& installed, const std::array<int, 4>& offered) {
  for (std::size_t i = 0; i < installed.size(); ++i) {
    if (installed[i] != offered[i]) return installed[i] < offered[i];
  }
  return false;
}

}  // namespace orvex
