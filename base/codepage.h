#pragma once
// Conversions with the system's ANSI code page. Declared here, below the platform seam, for
// every layer; each platform defines them (platform/win32/codepage_win32.cpp with the Windows
// calls, platform/sim/codepage_host.cpp with the simulated machine's code page).

#include <string>

namespace orvex {

// 8-bit text to UTF-16 with the system's ANSI code page.
std::wstring ToWide(const std::string& text);

// UTF-16 to 8-bit text with the system's ANSI code page; characters the code page lacks
// become '?'.
std::string ToAnsi(const std::wstring& text);

}  // namespace orvex
