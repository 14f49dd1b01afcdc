#include "base/text.h"

#include <cstdint>

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

std::string& EraseAll(std::string& text, const std::string& piece) {
  if (piece.empty()) return text;
  std::size_t pos;
  while ((pos = text.find(piece)) != std::string::npos) text.erase(pos, piece.size());
  return text;
}

std::string StripControlChars(std::string text) {
  EraseAll(text, "\t");
  EraseAll(text, "\n");
  EraseAll(text, "\r");
  return text;
}

namespace {

// Appends the UTF-16 form of a code point (wchar_t is 16 bits on Windows, 32 on the host;
// both hold UTF-16 units here so that the two builds agree).
void AppendUtf16(std::wstring& out, uint32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<wchar_t>(cp));
  }
}

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

constexpr uint32_t kReplacement = 0xFFFD;

// The second byte of a sequence is limited by its lead (Unicode's table of well-formed byte
// sequences): this is what refuses overlong forms, surrogates and values past U+10FFFF.
bool SecondByteFits(unsigned char lead, unsigned char second) {
  if (lead == 0xE0) return second >= 0xA0 && second <= 0xBF;
  if (lead == 0xED) return second >= 0x80 && second <= 0x9F;
  if (lead == 0xF0) return second >= 0x90 && second <= 0xBF;
  if (lead == 0xF4) return second >= 0x80 && second <= 0x8F;
  return (second & 0xC0) == 0x80;
}

// How many bytes follow a lead byte, or -1 when the byte cannot begin a character (a
// continuation byte, C0, C1, F5..FF).
int TrailingBytes(unsigned char lead) {
  if (lead < 0x80) return 0;
  if (lead >= 0xC2 && lead <= 0xDF) return 1;
  if (lead >= 0xE0 && lead <= 0xEF) return 2;
  if (lead >= 0xF0 && lead <= 0xF4) return 3;
  return -1;
}

}  // namespace

// An ill-formed sequence gives one U+FFFD for each maximal part that could have begun a
// character, as browsers and Python decode: "\xE2\x82A" is U+FFFD then "A".
std::wstring Utf8ToWide(const std::string& text) {
  std::wstring wide;
  wide.reserve(text.size());
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t i = 0;
  while (i < size) {
    const unsigned char lead = bytes[i++];
    const int trailing = TrailingBytes(lead);
    if (trailing <= 0) {
      AppendUtf16(wide, trailing == 0 ? lead : kReplacement);
      continue;
    }
    uint32_t cp = lead & (0x3F >> trailing);
    int taken = 0;
    while (taken < trailing && i < size &&
           (taken == 0 ? SecondByteFits(lead, bytes[i]) : (bytes[i] & 0xC0) == 0x80)) {
      cp = (cp << 6) | (bytes[i++] & 0x3F);
      ++taken;
    }
    AppendUtf16(wide, taken == trailing ? cp : kReplacement);
  }
  return wide;
}

std::string WideToUtf8(const std::wstring& text) {
  std::string utf8;
  for (std::size_t i = 0; i < text.size(); ++i) {
    uint32_t unit = static_cast<uint32_t>(text[i]) & 0xFFFF;
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size()) {
      uint32_t low = static_cast<uint32_t>(text[i + 1]) & 0xFFFF;
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendUtf8(utf8, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
        ++i;
        continue;
      }
    }
    AppendUtf8(utf8, (unit >= 0xD800 && unit <= 0xDFFF) ? kReplacement : unit);
  }
  return utf8;
}

}  // namespace orvex
