// The process list and process owners under Wine, and the process check on top of them: Wine
// runs services.exe in the same prefix, as the same account as the test.

#include "platform/process_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "prompts/process_check.h"

namespace orvex {
namespace {

TEST(ProcessListWin32, ListsThisProcessAndTheSystemServices) {
  std::vector<platform::RunningProcess> processes;
  ASSERT_TRUE(platform::ListRunningProcesses(&processes));
  const uint32_t self = platform::CurrentProcessId();
  bool sawSelf = false, sawServices = false;
  for (const platform::RunningProcess& process : processes) {
    if (process.processId == self) {
      sawSelf = true;
      EXPECT_EQ(L"orvex-tests.exe", process.exeName);
    }
    sawServices = sawServices || process.exeName == L"services.exe";
  }
  EXPECT_TRUE(sawSelf);
  EXPECT_TRUE(sawServices);

  std::wstring owner;
  ASSERT_TRUE(platform::ProcessOwner(self, &owner));
  EXPECT_NE(std::wstring::npos, owner.find(L'\\'));
  EXPECT_GT(owner.size(), 2u);
  EXPECT_FALSE(platform::ProcessOwner(0xFFFFFFF0u, &owner));
}

TEST(ProcessListWin32, TheProcessCheck) {
  // Its own process never counts.
  EXPECT_FALSE(IsProcessRunning("orvex-tests.exe", false));
  // Names compare without regard to case.
  EXPECT_TRUE(IsProcessRunning("SERVICES.EXE", false));
  // services.exe runs as the test's own account under Wine: not another user's.
  EXPECT_FALSE(IsProcessRunning("services.exe", true));
  EXPECT_FALSE(IsProcessRunning("no-such-program.exe", false));
}

}  // namespace
}  // namespace orvex
