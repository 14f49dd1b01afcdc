// The presence pipe on the host: the simulated machine has no named pipes, and nothing in the
// installer ever reads the pipe, so there is nothing to do.
#include "platform/pipe.h"

namespace orvex {
namespace platform {

void CreatePresencePipe(const std::wstring&) {}

}  // namespace platform
}  // namespace orvex
