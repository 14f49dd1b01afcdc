// CTest runs every test in a process of its own, several at a time. Each process keeps the
// simulated machine's drives in a sandbox folder of its own, so one test's clean-up of a
// folder can never pull files from under a test running beside it.
#include <gtest/gtest.h>

#include <memory>

#include "tests/support/sim_test_support.h"

namespace orvex {
namespace test {
namespace {

class PerProcessSandbox : public ::testing::Environment {
 public:
  void SetUp() override { sandbox_ = std::make_unique<ScopedSandbox>(); }
  void TearDown() override { sandbox_.reset(); }

 private:
  std::unique_ptr<ScopedSandbox> sandbox_;
};

// Registered before main runs; GoogleTest owns the environment.
::testing::Environment* const kSandbox = ::testing::AddGlobalTestEnvironment(new PerProcessSandbox);

}  // namespace
}  // namespace test
}  // namespace orvex
