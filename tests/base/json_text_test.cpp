// Reading and writing JSON text: the configuration reader's numbers and its errors, and the
// styled text of the state dump. The Windows build links its own build of jsoncpp (numbers
// read with strtod instead of a string stream, scripts/deps-patches/jsoncpp.patch); these
// cases hold it to what the host build's jsoncpp does.

#include "base/json_text.h"

#include <gtest/gtest.h>

namespace orvex {
namespace {

struct NumberCase {
  const char* text;
  const char* styled;  // StyledJson of the value read; nullptr: the text is refused
  const char* error;   // the reader's error for a refused text
};

TEST(JsonText, NumbersReadAsTheConfigurationReaderReadsThem) {
  const NumberCase cases[] = {
      {"1.5", "1.5\n", nullptr},
      {"-0.25", "-0.25\n", nullptr},
      {"1e3", "1000.0\n", nullptr},
      {"2E-2", "0.02\n", nullptr},
      {"1.", "1.0\n", nullptr},
      {"0.1", "0.10000000000000001\n", nullptr},
      {"12345678901234567890123", "1.2345678901234568e+22\n", nullptr},
      {"-12345678901234567890123", "-1.2345678901234568e+22\n", nullptr},
      {"1e-400", "0.0\n", nullptr},  // too small: zero, as the stream read it
      {"1e400", nullptr, "line 1, column 1: '1e400' is not a number."},
      {"-1e400", nullptr, "line 1, column 1: '-1e400' is not a number."},
      {"1e", nullptr, "line 1, column 1: '1e' is not a number."},
      {"1e+", nullptr, "line 1, column 1: '1e+' is not a number."},
      {"[1, 2.5e]", nullptr, "line 1, column 5: '2.5e' is not a number."},
  };
  for (const NumberCase& c : cases) {
    SCOPED_TRACE(c.text);
    Json::Value value;
    std::string error;
    bool read = ParseJson(c.text, value, &error);
    if (c.styled) {
      ASSERT_TRUE(read) << error;
      EXPECT_EQ(c.styled, StyledJson(value));
    } else {
      EXPECT_FALSE(read);
      EXPECT_EQ(c.error, error);
      EXPECT_TRUE(value.isNull());
    }
  }
}

TEST(JsonText, MisusedValuesFailWithTheLibrarysMessage) {
  Json::Value number(3);
  try {
    number["key"];
    FAIL() << "indexing a number by name did not throw";
  } catch (const Json::LogicError& e) {
    EXPECT_STREQ("in Json::Value::resolveReference(key, end): requires objectValue", e.what());
  }
  try {
    JsonText(number);
    FAIL() << "a number read as text did not throw";
  } catch (const Json::LogicError& e) {
    EXPECT_STREQ("Type is not convertible to string", e.what());
  }
}

}  // namespace
}  // namespace orvex
