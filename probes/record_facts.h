#pragma once
// Small facts of the system information record that are read the same way wherever they are
// needed.

#include <cstdint>
#include <string>
#include <vector>

namespace orvex {

// "x64" when the OSArchitecture text contains "64" anywhere, else "x86".
std::string ArchitectureClass(const std::string& osArchitecture);

// NUMBER_OF_PROCESSORS read with "%d"; 0 when empty or not a number.
int ProcessorCountFrom(const std::string& text);

// Windows 8 (6.2) or later: 6 with a minor of 2 or more, or 10 and above (7 to 9 count as
// older).
bool IsWindows8OrLater(int osMajor, int osMinor);

// Sorted by byte value, each text once.
std::vector<std::string> SortedWithoutDuplicates(std::vector<std::string> texts);

}  // namespace orvex
