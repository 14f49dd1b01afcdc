// Text helpers: replacing and erasing, control characters, and the conversions between the
// narrow texts of the session document and Windows' UTF-16.

#include "base/text.h"

#include <gtest/gtest.h>

#include "base/codepage.h"

namespace orvex {
namespace {

TEST(Text, ReplaceAllDoesNotRescanWhatItInserted) {
  std::string path = "DeviceID='\\\\.\\PHYSICALDRIVE0'";
  EXPECT_EQ("DeviceID='\\\\\\\\.\\\\PHYSICALDRIVE0'", ReplaceAll(path, "\\", "\\\\"));
  std::string text = "aXa";
  EXPECT_EQ("aXa", ReplaceAll(text, "", "y"));  // an empty pattern changes nothing
}

TEST(Text, EraseAllSearchesAgainFromTheStart) {
  std::string text = "abcbcd";
  EXPECT_EQ("ad", EraseAll(text, "bc"));
  std::string nested = "aabb";
  EXPECT_EQ("", EraseAll(nested, "ab"));  // removing "ab" makes a new "ab"
}

TEST(Text, StripControlCharsLeavesOneLongLine) {
  EXPECT_EQ("{\"a\" : 1,\"b\" : 2}", StripControlChars("{\r\n\t\"a\" : 1,\r\n\t\"b\" : 2}\r\n"));
}

TEST(Text, Utf8AndUtf16ConvertBothWays) {
  const std::pair<std::string, std::wstring> cases[] = {
      {"C:\\Temp", L"C:\\Temp"},
      {"caf\xc3\xa9", L"caf\u00e9"},
      {"\xe2\x82\xac 5", L"\u20ac 5"},
      // Outside the basic plane: a surrogate pair in UTF-16 on both builds.
      {"\xf0\x9f\x98\x80",
       std::wstring{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)}},
      {"", L""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.first);
    EXPECT_EQ(c.second, Utf8ToWide(c.first));
    EXPECT_EQ(c.first, WideToUtf8(c.second));
  }
}

TEST(Text, InvalidUtf8BecomesReplacementCharacters) {
  const std::pair<std::string, std::wstring> cases[] = {
      {"a\xff"
       "b",
       L"a\ufffdb"},
      {"\xc3", L"\ufffd"},                      // cut short at the end
      {"\xc0\xaf", L"\ufffd\ufffd"},            // overlong form of "/"
      {"\xed\xa0\x80", L"\ufffd\ufffd\ufffd"},  // an encoded surrogate
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.first));
    EXPECT_EQ(c.second, Utf8ToWide(c.first));
  }
  // A lone surrogate in UTF-16 cannot be written as UTF-8.
  EXPECT_EQ("\xef\xbf\xbd", WideToUtf8(std::wstring(1, static_cast<wchar_t>(0xD800))));
}

TEST(Text, ToNarrowKeepsTheLowByteOfEachUnit) {
  EXPECT_EQ("Intel", ToNarrow(L"Intel"));
  EXPECT_EQ(std::string("\xe9\x41", 2), ToNarrow(std::wstring{L'\u00e9', L'\u0141'}));
}

TEST(Text, ToWideUsesTheAnsiCodePage) {
  EXPECT_EQ(L"gpudriver.zip", ToWide("gpudriver.zip"));
#ifndef _WIN32
  // The simulated machine's code page is Windows-1252.
  EXPECT_EQ(L"\u20ac\u00e9\u0081", ToWide("\x80\xe9\x81"));
#endif
}

}  // namespace
}  // namespace orvex
