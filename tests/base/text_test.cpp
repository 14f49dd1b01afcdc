// Text helpers: replacing and erasing, control characters, and the conversions between the
// narrow texts of the session document and Windows' UTF-16.

#include "base/text.h"

#include <gtest/gtest.h>

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

TEST(Text, InvalidUtf8BecomesOneReplacementCharacterPerBadPart) {
  const std::pair<std::string, std::wstring> cases[] = {
      {"a\xff"
       "b",
       L"a\ufffdb"},
      {"\xc3", L"\ufffd"},      // cut short at the end
      {"\xe2\x82", L"\ufffd"},  // cut short: one part, one U+FFFD
      {"\xe2\x82"
       "A",
       L"\ufffdA"},                                       // cut short before a character
      {"\xf0\x9f\x98", L"\ufffd"},                        // four bytes cut short
      {"\x80\xbf", L"\ufffd\ufffd"},                      // lone continuation bytes
      {"\xc0\xaf", L"\ufffd\ufffd"},                      // overlong form of "/"
      {"\xe0\x80\xaf", L"\ufffd\ufffd\ufffd"},            // overlong in three bytes
      {"\xf0\x80\x80\xaf", L"\ufffd\ufffd\ufffd\ufffd"},  // overlong in four bytes
      {"\xed\xa0\x80", L"\ufffd\ufffd\ufffd"},            // an encoded surrogate
      {"\xf4\x90\x80\x80", L"\ufffd\ufffd\ufffd\ufffd"},  // past U+10FFFF
      {"\xf5\x80", L"\ufffd\ufffd"},                      // a lead byte that never begins one
      {"\xd0\x90\xd0", L"\u0410\ufffd"},                  // a good character, then a cut one
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.first));
    EXPECT_EQ(c.second, Utf8ToWide(c.first));
    EXPECT_EQ(c.second, ToWide(c.first));
  }
}

TEST(Text, UnpairedSurrogatesBecomeReplacementCharactersWhenNarrowed) {
  const wchar_t high = static_cast<wchar_t>(0xD83D);
  const wchar_t low = static_cast<wchar_t>(0xDE00);
  const std::pair<std::wstring, std::string> cases[] = {
      {std::wstring{high}, "\xef\xbf\xbd"},
      {std::wstring{low}, "\xef\xbf\xbd"},
      {std::wstring{low, high}, "\xef\xbf\xbd\xef\xbf\xbd"},  // the wrong order
      {std::wstring{high, L'A'},
       "\xef\xbf\xbd"
       "A"},
      {std::wstring{L'x', high, low}, "x\xf0\x9f\x98\x80"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.second));
    EXPECT_EQ(c.second, WideToUtf8(c.first));
    EXPECT_EQ(c.second, ToNarrow(c.first));
  }
}

TEST(Text, TextsFromWindowsKeepEveryCharacter) {
  // What WMI and Windows Installer hand over on a Russian or Chinese Windows.
  const std::wstring caption =
      L"\u041c\u0430\u0439\u043a\u0440\u043e\u0441\u043e\u0444\u0442"
      L" Windows 10 \u0414\u043e\u043c\u0430\u0448\u043d\u044f\u044f";
  const std::wstring adapter = L"NVIDIA GeForce\u00ae GTX 1050 Ti \u5b89\u88c5\u2122";
  for (const std::wstring& text : {caption, adapter}) EXPECT_EQ(text, ToWide(ToNarrow(text)));
  EXPECT_EQ("caf\xc3\xa9", ToNarrow(L"caf\u00e9"));  // not a lone Latin-1 byte
}

}  // namespace
}  // namespace orvex
