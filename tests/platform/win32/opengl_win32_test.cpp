// OpenGL strings through the hidden window. Wine's WGL needs an X display (Xvfb in the test
// run: scripts/wine-run.sh with ORVEX_WINE_XVFB=1); Mesa answers for it.
#include "platform/opengl.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>

namespace orvex {
namespace platform {
namespace {

bool ClassRegistered() {
  WNDCLASSW info;
  return GetClassInfoW(GetModuleHandleW(nullptr), L"OpenglCheck", &info) != 0;
}

TEST(Win32OpenGL, VersionAndVendorFromAContext) {
  if (!std::getenv("DISPLAY"))
    GTEST_SKIP() << "no X display: run under Xvfb (ORVEX_WINE_XVFB=1 scripts/wine-run.sh)";
  // Several cycles in a row: each one must take down its window and class, or the next
  // RegisterClassW fails.
  for (int cycle = 0; cycle < 3; ++cycle) {
    std::string version, vendor;
    ASSERT_TRUE(ReadOpenGLString(GlString::kVersion, &version)) << cycle;
    ASSERT_TRUE(ReadOpenGLString(GlString::kVendor, &vendor)) << cycle;
    ASSERT_FALSE(version.empty());
    EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(version[0]))) << version;
    EXPECT_NE(version.find('.'), std::string::npos) << version;
    EXPECT_FALSE(vendor.empty());
  }
  EXPECT_FALSE(ClassRegistered());
  EXPECT_EQ(FindWindowW(L"OpenglCheck", nullptr), nullptr);
}

TEST(Win32OpenGL, NothingLeftBehindWhateverTheOutcome) {
  std::string text = "unchanged";
  bool read = ReadOpenGLString(GlString::kVersion, &text);
  if (!read) {
    EXPECT_EQ(text, "unchanged");
  }
  EXPECT_FALSE(ClassRegistered());
  EXPECT_EQ(FindWindowW(L"OpenglCheck", nullptr), nullptr);
  // A class of that name left by someone else makes the attempt fail without touching it.
  WNDCLASSW foreign = {};
  foreign.lpfnWndProc = DefWindowProcW;
  foreign.hInstance = GetModuleHandleW(nullptr);
  foreign.lpszClassName = L"OpenglCheck";
  ASSERT_NE(RegisterClassW(&foreign), 0);
  EXPECT_FALSE(ReadOpenGLString(GlString::kVendor, &text));
  EXPECT_TRUE(ClassRegistered());
  UnregisterClassW(L"OpenglCheck", GetModuleHandleW(nullptr));
}

}  // namespace
}  // namespace platform
}  // namespace orvex
