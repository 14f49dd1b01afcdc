#pragma once
// The installed .NET Framework level, from the setup keys under NDP.

#include <string>

namespace orvex {

// The name of the last sub-key of "Software\\Microsoft\\NET Framework Setup\\NDP" (in
// enumeration order) that begins with "v" and whose "Install", or else "Client\\Install", is 1,
// without its "v"; "" when there is none.
std::string ReadDotNetVersion();

}  // namespace orvex
