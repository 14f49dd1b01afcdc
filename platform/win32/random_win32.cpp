#include "platform/random.h"

#include <windows.h>
#include <bcrypt.h>

namespace orvex {
namespace platform {

bool RandomBytes(void* bytes, std::size_t count, uint32_t* error) {
  const NTSTATUS status =
      BCryptGenRandom(nullptr, static_cast<PUCHAR>(bytes), static_cast<ULONG>(count),
                      BCRYPT_USE_SYSTEM_PREFERRED_RNG);
  if (status >= 0) return true;
  // The status is an NTSTATUS; no Windows error says more than that the generator failed.
  if (error) *error = ERROR_GEN_FAILURE;
  return false;
}

}  // namespace platform
}  // namespace orvex
