#pragma once
// The request the model-specific-register driver reads one register by.

#include <cstdint>

namespace orvex {

// The 16-byte request: the register number, 8, 0, 0 as little-endian 32-bit numbers.
void FillMsrRequest(uint16_t msr, uint8_t (&request)[16]);

}  // namespace orvex
