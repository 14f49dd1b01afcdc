#pragma once
// The product version offered by the web service, as the installer package's address names
// it ("...-2.0.6.8063.exe"), and its comparison with the installed one.

#include <array>
#include <string>

namespace orvex {

// The text between the last "-" and the last "." of the address's path (what follows "?" or
// "#" is no part of it, nor is "scheme://authority"). Without a "-" it starts at the
// beginning of the path; without a "." it runs to its end.
std::string CutVersionText(const std::string& address);

// Whether the text is a version: two to four decimal numbers of at most nine digits each,
// separated by single dots, and nothing else. A text cut from an address without a version
// (a piece of the address, an edition name, "") is none.
bool IsVersionText(const std::string& text);

// Up to four dotted decimal numbers, read as "%d.%d.%d.%d" reads them: each may follow blanks
// and carry a sign, reading stops at the first that is not there, and what was not read stays
// 0. Numbers beyond the range of int are clamped to it.
std::array<int, 4> ParseVersionText(const std::string& text);

// Compares (major, minor, sub-minor); the build is not compared.
bool IsOlderVersion(const std::array<int, 3>& installed, const std::array<int, 4>& offered);

}  // namespace orvex
