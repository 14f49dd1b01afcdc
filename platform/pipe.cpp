// The presence pipe's ownership, the same on both machines; closing it is each machine's own.
#include "platform/pipe.h"

namespace orvex {
namespace platform {

PresencePipe::~PresencePipe() { Close(); }

PresencePipe::PresencePipe(PresencePipe&& other) noexcept : handle_(other.handle_) {
  other.handle_ = nullptr;
}

PresencePipe& PresencePipe::operator=(PresencePipe&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

}  // namespace platform
}  // namespace orvex
