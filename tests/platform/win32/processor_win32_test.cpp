// CPUID, processor features, memory and screen, each checked against a second Windows source.
#include "platform/processor.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

namespace orvex {
namespace platform {
namespace {

TEST(Win32Processor, CpuidLeafZeroNamesTheVendor) {
  CpuidRegisters leaf0 = Cpuid(0);
  EXPECT_GE(leaf0.eax, 1u);  // the highest standard leaf
  char vendor[13] = {};
  std::memcpy(vendor, &leaf0.ebx, 4);
  std::memcpy(vendor + 4, &leaf0.edx, 4);
  std::memcpy(vendor + 8, &leaf0.ecx, 4);
  ASSERT_EQ(std::strlen(vendor), 12u);
  for (char c : std::string(vendor))
    EXPECT_TRUE(std::isprint(static_cast<unsigned char>(c))) << vendor;
}

TEST(Win32Processor, FeatureBitsAgreeWithWindows) {
  CpuidRegisters leaf1 = Cpuid(1);
  struct Case {
    uint32_t feature;  // PF_*
    uint32_t edxBit;
  } const cases[] = {
      {PF_XMMI_INSTRUCTIONS_AVAILABLE, 25},    // SSE
      {PF_XMMI64_INSTRUCTIONS_AVAILABLE, 26},  // SSE2
      {PF_MMX_INSTRUCTIONS_AVAILABLE, 23},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ProcessorFeaturePresent(c.feature), ((leaf1.edx >> c.edxBit) & 1) != 0) << c.feature;
}

TEST(Win32Processor, InstalledMemoryCoversWhatWindowsSees) {
  uint64_t kilobytes = 0;
  ASSERT_TRUE(GetPhysicallyInstalledMemoryKb(&kilobytes));
  MEMORYSTATUSEX status = {};
  status.dwLength = sizeof status;
  ASSERT_TRUE(GlobalMemoryStatusEx(&status));
  EXPECT_GT(kilobytes, 0u);
  EXPECT_GE(kilobytes * 1024, status.ullTotalPhys);
}

TEST(Win32Processor, ScreenSizeOfThePrimaryDisplay) {
  HDC screen = GetDC(nullptr);
  ASSERT_NE(screen, nullptr);
  int width = GetDeviceCaps(screen, HORZRES);
  int height = GetDeviceCaps(screen, VERTRES);
  ReleaseDC(nullptr, screen);
  EXPECT_GT(ScreenWidth(), 0);
  EXPECT_EQ(ScreenWidth(), width);
  EXPECT_EQ(ScreenHeight(), height);
}

}  // namespace
}  // namespace platform
}  // namespace orvex
