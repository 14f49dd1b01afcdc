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

std::string ToNarrow(const std::wstring& text) {
  std::string narrow;
  narrow.reserve(text.size());
  for (wchar_t unit : text) narrow.push_back(static_cast<char>(unit & 0xFF));
  return narrow;
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

}  // namespace

std::wstring Utf8ToWide(const std::string& text) {
  static const uint32_t kMinimum[] = {0, 0x80, 0x800, 0x10000};
  std::wstring wide;
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  const std::size_t size = text.size();
  std::size_t i = 0;
  while (i < size) {
    const unsigned char lead = bytes[i];
    int extra;
    uint32_t cp;
    if (lead < 0x80) {
      extra = 0, cp = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1, cp = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2, cp = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3, cp = lead & 0x07;
    } else {
      extra = -1, cp = 0;
    }
    bool valid = extra >= 0 && i + extra < size;
    for (int k = 1; valid && k <= extra; ++k) {
      if ((bytes[i + k] & 0xC0) != 0x80) valid = false;
      cp = (cp << 6) | (bytes[i + k] & 0x3F);
    }
    // Overlong forms, values past Unicode and lone surrogates are not characters.
    if (valid && (cp < kMinimum[extra] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)))
      valid = false;
    if (!valid) {
      AppendUtf16(wide, kReplacement);
      ++i;
      continue;
    }
    AppendUtf16(wide, cp);
    i += extra + 1;
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
