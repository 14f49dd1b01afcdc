#pragma once
// The machine identifier sent as the second disk serial.

#include <string>

namespace orvex {

// Fills buffer (76 bytes: at most 75 characters and the terminating zero) with an identifier
// of this Windows installation, or with "invalid" when there is none.
void ReadMachineIdentifier(char (&buffer)[76]);

}  // namespace orvex
