#include "probes/msr_request.h"

namespace orvex {

namespace {

void PutLittleEndian(uint32_t number, uint8_t* bytes) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(number >> (8 * i));
}

}  // namespace

void FillMsrRequest(uint16_t msr, uint8_t (&request)[16]) {
  PutLittleEndian(msr, request);
  PutLittleEndian(8, request + 4);
  PutLittleEndian(0, request + 8);
  PutLittleEndian(0, request + 12);
}

}  // namespace orvex
