// The Wine test binary starts a fresh Wine session: the prefix's services.exe comes up a moment
// after the first program, and a test that opens the service manager or lists the processes in
// that moment finds nothing. Before any test runs, this waits (at most a minute) until the
// service manager answers and services.exe is listed; when it never does, the tests that need
// it fail with their own messages.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/services.h"
#include "prompts/process_check.h"

namespace orvex {
namespace {

bool SessionServicesUp() {
  return platform::OpenServiceManager(platform::ServiceManagerAccess::kRead) != nullptr &&
         IsProcessRunning("services.exe", false);
}

class WineSessionReady : public ::testing::Environment {
 public:
  void SetUp() override {
    // A cold session on a loaded 2-core machine.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!SessionServicesUp()) {
      if (std::chrono::steady_clock::now() > deadline) {
        std::fprintf(stderr, "the Wine session's service manager did not come up\n");
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
};

// Registered before main runs; gtest owns the environment.
::testing::Environment* const g_wineSessionReady =
    ::testing::AddGlobalTestEnvironment(new WineSessionReady);

}  // namespace
}  // namespace orvex
