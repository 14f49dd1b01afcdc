#pragma once
// Small text helpers shared across the installer.

#include <string>

namespace orvex {

// Replaces every occurrence of pattern in text, scanning left to right; the search resumes
// after the inserted replacement, so the replacement is never rescanned. Returns text.
std::string& ReplaceAll(std::string& text, const std::string& pattern,
                        const std::string& replacement);

// Removes every occurrence of piece, searching again from the start after each removal.
std::string& EraseAll(std::string& text, const std::string& piece);

// Removes every tab, then every line feed, then every carriage return.
std::string StripControlChars(std::string text);

// UTF-16 to 8-bit text by the low byte of each unit (no code-page conversion): how texts read
// from Windows are narrowed for the session document.
std::string ToNarrow(const std::wstring& text);

// Standard UTF-8 conversions. Invalid input bytes become U+FFFD.
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);

}  // namespace orvex
