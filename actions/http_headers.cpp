#include "actions/http_headers.h"

#include <cctype>
#include <cstdint>
#include <cstring>
#include <string>

namespace orvex {

namespace {

// Reads the digits at text[*at]; false when there are none or too many.
bool ReadNumber(const std::string& text, size_t* at, uint64_t* value) {
  const size_t from = *at;
  *value = 0;
  while (*at < text.size() && std::isdigit(static_cast<unsigned char>(text[*at]))) {
    if (*at - from >= 18) return false;
    *value = *value * 10 + static_cast<uint64_t>(text[*at] - '0');
    ++*at;
  }
  return *at > from;
}

}  // namespace

bool HeaderLineStartsWith(const char* line, size_t length, const char* lowerPrefix) {
  const size_t wanted = std::strlen(lowerPrefix);
  if (length < wanted) return false;
  for (size_t i = 0; i < wanted; ++i)
    if (std::tolower(static_cast<unsigned char>(line[i])) != lowerPrefix[i]) return false;
  return true;
}

std::string HeaderLineValue(const char* line, size_t length, size_t nameLength) {
  std::string value(line + nameLength, length - nameLength);
  // A value of blanks alone is no value: its line ending must not become one.
  const size_t first = value.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::string();
  const size_t last = value.find_last_not_of(" \t\r\n");
  return value.substr(first, last - first + 1);
}

ContentRange ParseContentRange(const std::string& value) {
  ContentRange range;
  size_t at = value.find_first_not_of(" \t");
  if (at == std::string::npos ||
      !HeaderLineStartsWith(value.c_str() + at, value.size() - at, "bytes "))
    return range;
  at = value.find_first_not_of(" \t", at + 6);
  uint64_t first = 0, last = 0, total = 0;
  if (at == std::string::npos || !ReadNumber(value, &at, &first)) return range;
  if (at >= value.size() || value[at++] != '-' || !ReadNumber(value, &at, &last)) return range;
  if (at >= value.size() || value[at++] != '/' || last < first) return range;
  if (at < value.size() && value[at] == '*') {
    ++at;
    range.total = -1;
  } else if (ReadNumber(value, &at, &total)) {
    range.total = static_cast<int64_t>(total);
  } else {
    return range;
  }
  if (value.find_first_not_of(" \t\r\n", at) != std::string::npos) return range;
  range.present = true;
  range.first = first;
  range.last = last;
  return range;
}

std::string ChooseValidator(const std::string& etag, const std::string& lastModified) {
  const bool strongEtag = !etag.empty() && etag.compare(0, 2, "W/") != 0;
  return strongEtag ? etag : lastModified;
}

bool FileSizeFromLength(int64_t length, uint32_t* size) {
  if (length < 1 || length > INT32_MAX) return false;
  *size = static_cast<uint32_t>(length);
  return true;
}

RangeAnswer JudgeRangeAnswer(long status, const ContentRange& range, uint64_t first, uint64_t end,
                             uint32_t total, bool resumed) {
  if (status == 200 && resumed) return RangeAnswer::kFileChanged;
  if (status == 200) return first == 0 && end == total ? RangeAnswer::kFits : RangeAnswer::kRefused;
  if (status != 206 || !range.present) return RangeAnswer::kRefused;
  const bool fits = range.first == first && range.last == end - 1 &&
                    (range.total < 0 || range.total == int64_t{total});
  return fits ? RangeAnswer::kFits : RangeAnswer::kRefused;
}

}  // namespace orvex
