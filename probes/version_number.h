#pragma once
// Numbers of dotted version texts.

#include <cstddef>
#include <string>

namespace orvex {

// One number of a dotted version, read with "%d" from start up to the next '.' (or the end);
// 0 when unreadable. *separator receives the position of that '.', or npos when there is none.
int ParseVersionNumber(const std::string& text, std::size_t start, std::size_t* separator);

// The major/minor pair of a version text by two ParseVersionNumber calls: the second reads after
// the separator the first one found, and is 0 when there was none ("4" gives 4 and 0).
void ParseMajorMinor(const std::string& text, int* major, int* minor);

}  // namespace orvex
