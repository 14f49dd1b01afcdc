// Random bytes on the host: the kernel's generator.
#include "platform/random.h"

#include <sys/random.h>

#include <cerrno>

#include "platform/win_codes.h"

namespace orvex {
namespace platform {

bool RandomBytes(void* bytes, std::size_t count, uint32_t* error) {
  unsigned char* next = static_cast<unsigned char*>(bytes);
  while (count > 0) {
    const ssize_t got = getrandom(next, count, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return ReportError(kErrorGenFailure, error);
    next += got;
    count -= static_cast<std::size_t>(got);
  }
  return true;
}

}  // namespace platform
}  // namespace orvex
