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

// Every narrow string inside the installer is UTF-8, whatever Windows hands over and whatever
// the system's ANSI code page; UTF-16 exists only at Windows calls. These are the two
// conversions between them. Bytes that are not UTF-8 and unpaired surrogates become U+FFFD,
// so the result is always well formed. wchar_t holds UTF-16 units on both builds.
std::wstring Utf8ToWide(const std::string& text);
std::string WideToUtf8(const std::wstring& text);

// The short names of the same two conversions, for paths, command lines and texts.
inline std::wstring ToWide(const std::string& utf8) { return Utf8ToWide(utf8); }
inline std::string ToNarrow(const std::wstring& wide) { return WideToUtf8(wide); }

}  // namespace orvex
