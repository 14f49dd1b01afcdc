#pragma once
// Random bytes from the system's generator for secrets and names nobody may predict:
// BCryptGenRandom on Windows, getrandom(2) on the host.

#include <cstddef>
#include <cstdint>

namespace orvex {
namespace platform {

// BCryptGenRandom(NULL, bytes, count, BCRYPT_USE_SYSTEM_PREFERRED_RNG): false with the error
// in *error when the generator failed (the buffer then holds nothing usable).
[[nodiscard]] bool RandomBytes(void* bytes, std::size_t count, uint32_t* error);

}  // namespace platform
}  // namespace orvex
