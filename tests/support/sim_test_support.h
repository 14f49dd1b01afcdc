#pragma once
// A sandbox folder of its own for a host test that touches the simulated machine's drives.

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "platform/sim/machine.h"

namespace orvex {
namespace test {

class ScopedSandbox {
 public:
  ScopedSandbox() : previous_(sim::SandboxRoot()) {
    char pattern[] = "/tmp/orvex-sim-test-XXXXXX";
    root_ = mkdtemp(pattern) ? pattern : "/tmp/orvex-sim-test-fallback";
    sim::SetSandboxRoot(root_);
  }
  ~ScopedSandbox() {
    sim::SetSandboxRoot(previous_);
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  ScopedSandbox(const ScopedSandbox&) = delete;
  ScopedSandbox& operator=(const ScopedSandbox&) = delete;

  const std::string& root() const { return root_; }

 private:
  std::string previous_;
  std::string root_;
};

}  // namespace test
}  // namespace orvex
