// The environment reaches the installer in UTF-8 on both builds: a value in any script comes
// back whole, whatever the system's ANSI code page would have made of it.
#include "platform/environment.h"

#include <gtest/gtest.h>

#include <string>

#include "base/text.h"
#include "platform/process.h"
#include "tests/support/test_support.h"

namespace orvex {
namespace {

TEST(Environment, ValuesInAnyScriptComeBackWhole) {
  const std::string value =
      "\xd0\x90\xd0\xbd\xd0\xbd\xd0\xb0 \xe5\xae\x89\xe8\xa3\x85 M\xc3\xb6"
      "chten \xe2\x84\xa2";  // Анна 安装 Möchten ™
  test::ScopedEnv set("ORVEX_TEXT_TEST", value);
  EXPECT_EQ(value, platform::EnvironmentVariable("ORVEX_TEXT_TEST"));
  std::string found;
  ASSERT_TRUE(platform::FindEnvironmentVariable("ORVEX_TEXT_TEST", &found));
  EXPECT_EQ(value, found);
  EXPECT_EQ(Utf8ToWide(value), platform::EnvironmentVariableW(L"ORVEX_TEXT_TEST"));
  int entries = 0;
  for (const std::string& entry : platform::EnvironmentEntries())
    if (entry.rfind("ORVEX_TEXT_TEST=", 0) == 0) {
      ++entries;
      EXPECT_EQ("ORVEX_TEXT_TEST=" + value, entry);
    }
  EXPECT_EQ(1, entries);
}

TEST(Environment, AVariableThatIsNotSetIsNotFound) {
  EXPECT_FALSE(platform::FindEnvironmentVariable("ORVEX_TEXT_TEST_UNSET", nullptr));
  EXPECT_EQ("", platform::EnvironmentVariable("ORVEX_TEXT_TEST_UNSET"));
}

}  // namespace
}  // namespace orvex
