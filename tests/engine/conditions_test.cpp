// Rule conditions: comparisons, regular expressions and their combinations, evaluated against
// a context tree, and the configuration errors that escape as exceptions.

#include "engine/conditions.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/test_support.h"

namespace orvex {
namespace {

using test::J;

struct ConditionCase {
  const char* condition;
  const char* context;
  bool holds;
};

// A condition that raises when it is evaluated against {"n": 5}.
#define RAISING R"({"type": "gt", "left": ".n", "right": "3"})"
#define HOLDS R"({"type": "eq", "left": ".n", "right": 5})"
#define FAILS R"({"type": "eq", "left": ".n", "right": 6})"

TEST(Conditions, EvaluatesAgainstTheContext) {
  const std::vector<ConditionCase> cases = {
      // "and" / "or", evaluated in order and stopping at the first decisive element.
      {R"({"type": "and", "value": []})", "{}", true},
      {R"({"type": "or", "value": []})", "{}", false},
      {R"({"type": "and"})", "{}", true},
      {R"({"type": "or"})", "{}", false},
      {R"({"type": "and", "value": 5})", "{}", true},
      {R"({"type": "or", "value": "x"})", "{}", false},
      {R"({"type": "and", "value": [)" HOLDS "," HOLDS "]}", R"({"n": 5})", true},
      {R"({"type": "and", "value": [)" HOLDS "," FAILS "]}", R"({"n": 5})", false},
      {R"({"type": "or", "value": [)" FAILS "," HOLDS "]}", R"({"n": 5})", true},
      {R"({"type": "or", "value": [)" FAILS "," FAILS "]}", R"({"n": 5})", false},
      {R"({"type": "and", "value": [)" FAILS "," RAISING "]}", R"({"n": 5})", false},
      {R"({"type": "or", "value": [)" HOLDS "," RAISING "]}", R"({"n": 5})", true},
      {R"({"type": "and", "value": [null]})", "{}", false},
      {R"({"type": "or", "value": [null, )" HOLDS "]}", R"({"n": 5})", true},
      {R"({"type": "and", "value": [{"type": "or", "value": [)" FAILS "," HOLDS "]}, " HOLDS "]}",
       R"({"n": 5})", true},

      // "eq" / "ne": same kind and same value, for signed integers, booleans and strings.
      {R"({"type": "eq", "left": ".ui", "right": "dialog"})", R"({"ui": "dialog"})", true},
      {R"({"type": "eq", "left": ".ui", "right": "dialog"})", "{}", false},
      {R"({"type": "eq", "left": ".ui", "right": "Dialog"})", R"({"ui": "dialog"})", false},
      {R"({"type": "ne", "left": ".ui", "right": "dialog"})", R"({"ui": "dialog"})", false},
      {R"({"type": "ne", "left": ".missing", "right": 1})", "{}", true},
      {R"({"type": "eq", "left": ".missing", "right": null})", "{}", false},
      {R"({"type": "ne", "left": ".missing", "right": null})", "{}", true},
      {R"({"type": "eq", "left": ".n", "right": 4})", R"({"n": 4})", true},
      {R"({"type": "eq", "left": ".n", "right": 4})", R"({"n": 4.0})", false},
      {R"({"type": "eq", "left": ".n", "right": 4.0})", R"({"n": 4.0})", false},
      {R"({"type": "eq", "left": ".n", "right": 4})", R"({"n": 5})", false},
      {R"({"type": "ne", "left": ".n", "right": 4})", R"({"n": 5})", true},
      {R"({"type": "eq", "left": ".n", "right": -4294967296})", R"({"n": -4294967296})", true},
      {R"({"type": "eq", "left": ".n", "right": 0})", R"({"n": -4294967296})", false},
      {R"({"type": "eq", "left": ".n", "right": 3000000000})", R"({"n": 3000000000})", false},
      {R"({"type": "eq", "left": ".b", "right": true})", R"({"b": true})", true},
      {R"({"type": "eq", "left": ".b", "right": true})", R"({"b": false})", false},
      {R"({"type": "eq", "left": ".b", "right": 1})", R"({"b": true})", false},
      {R"({"type": "eq", "left": ".s", "right": "1"})", R"({"s": 1})", false},
      {R"({"type": "eq", "left": ".o", "right": {}})", R"({"o": {}})", false},
      {R"({"type": "eq", "left": ".a[1].k", "right": "x"})", R"({"a": [{}, {"k": "x"}]})", true},
      {R"({"type": "eq", "left": ".s.x", "right": "x"})", R"({"s": "x"})", false},
      {R"({"type": "eq", "left": ".ui", "right": "dialog"})", "null", false},

      // "lt" / "gt": a signed integer node against a bound taken as a 32-bit integer.
      {R"({"type": "lt", "left": ".F.n", "right": 2048})", R"({"F": {"n": 1024}})", true},
      {R"({"type": "lt", "left": ".F.n", "right": 2048})", R"({"F": {"n": 4096}})", false},
      {R"({"type": "lt", "left": ".F.n", "right": 2048})", "{}", false},
      {R"({"type": "gt", "left": ".n", "right": 3})", R"({"n": 4})", true},
      {R"({"type": "gt", "left": ".n", "right": 3})", R"({"n": 3})", false},
      {R"({"type": "lt", "left": ".n", "right": 3})", R"({"n": 3})", false},
      {R"({"type": "gt", "left": ".n", "right": -3})", R"({"n": -2})", true},
      {R"({"type": "lt", "left": ".n", "right": 0})", R"({"n": -4294967296})", true},
      {R"({"type": "gt", "left": ".n", "right": 3})", R"({"n": 4.5})", false},
      {R"({"type": "gt", "left": ".n", "right": 3})", R"({"n": "4"})", false},
      {R"({"type": "gt", "left": ".n", "right": 3})", R"({"n": true})", false},
      {R"({"type": "gt", "left": ".n", "right": 3})", R"({"n": 3000000000})", false},
      {R"({"type": "gt", "left": ".n", "right": "3"})", "{}", false},
      {R"({"type": "lt", "left": ".n", "right": 3.9})", R"({"n": 3})", false},
      {R"({"type": "gt", "left": ".n", "right": -2.9})", R"({"n": -2})", false},
      {R"({"type": "gt", "left": ".n", "right": true})", R"({"n": 2})", true},
      {R"({"type": "gt", "left": ".n", "right": true})", R"({"n": 1})", false},
      {R"({"type": "lt", "left": ".n", "right": null})", R"({"n": -1})", true},
      {R"({"type": "lt", "left": ".n"})", R"({"n": 0})", false},
      {R"({"type": "lt", "left": ".n", "right": 2147483647})", R"({"n": 2147483646})", true},
      {R"({"type": "gt", "left": ".n", "right": -2147483648})", R"({"n": -2147483647})", true},
      {R"({"type": "lt", "left": ".n", "right": 2147483647.5})", R"({"n": 2147483646})", true},

      // Regular expressions: the whole string must match.
      {R"({"type": "regex_match", "left": ".s", "right": "abc"})", R"({"s": "xabc"})", false},
      {R"({"type": "regex_match", "left": ".s", "right": "abc"})", R"({"s": "abc"})", true},
      {R"({"type": "regex_notmatch", "left": ".s", "right": "abc"})", R"({"s": "xabc"})", true},
      {R"({"type": "regex_notmatch", "left": ".s", "right": "abc"})", R"({"s": "abc"})", false},
      {R"({"type": "regex_match", "left": ".s", "right": "ABC"})", R"({"s": "abc"})", false},
      {R"({"type": "regex_imatch", "left": ".s", "right": "ABC"})", R"({"s": "abc"})", true},
      {R"({"type": "regex_imatch", "left": ".s", "right": "ABC"})", R"({"s": "abd"})", false},
      // Long digit runs are fine where they are literal characters.
      {R"({"type": "regex_match", "left": ".s", "right": "SN12345678901234"})",
       R"({"s": "SN12345678901234"})", true},
      {R"({"type": "regex_match", "left": ".s", "right": "\\\\12345678901234"})",
       R"({"s": "\\12345678901234"})", true},
      {R"({"type": "regex_notimatch", "left": ".s", "right": "ABC"})", R"({"s": "abc"})", false},
      {R"({"type": "regex_notimatch", "left": ".s", "right": "ABC"})", R"({"s": "abd"})", true},
      {R"({"type": "regex_match", "left": ".v", "right": "\\d+(\\.\\d+)*"})",
       R"({"v": "10.0.19041"})", true},
      {R"({"type": "regex_match", "left": ".v", "right": "a|ab"})", R"({"v": "ab"})", true},
      {R"({"type": "regex_match", "left": ".v", "right": ""})", R"({"v": ""})", true},
      // A node that is not a string never matches, so the negated types hold; the pattern is
      // not even compiled then.
      {R"({"type": "regex_match", "left": ".missing", "right": ".*"})", "{}", false},
      {R"({"type": "regex_notmatch", "left": ".missing", "right": ".*"})", "{}", true},
      {R"({"type": "regex_notimatch", "left": ".n", "right": ".*"})", R"({"n": 5})", true},
      {R"({"type": "regex_imatch", "left": ".n", "right": "("})", R"({"n": 5})", false},

      // Anything else does not hold.
      {R"({"type": "unknown"})", "{}", false},
      {R"({"type": "EQ", "left": ".n", "right": 5})", R"({"n": 5})", false},
      {R"({"left": ".n", "right": 5})", R"({"n": 5})", false},
      {R"({"type": null})", "{}", false},
      {"{}", "{}", false},
      {"null", "{}", false},
      {R"("and")", "{}", false},
  };
  for (const ConditionCase& c : cases) {
    SCOPED_TRACE(std::string(c.condition) + " in " + c.context);
    const Json::Value context = J(c.context);
    EXPECT_EQ(c.holds, EvaluateCondition(J(c.condition), context));
  }
}

TEST(Conditions, WideSignedIntegersCompareAtFullWidth) {
  Json::Value context;
  context["n"] = Json::Int64(4294967296LL);  // as modules store 64-bit counts
  Json::Value condition = J(R"({"type": "eq", "left": ".n", "right": 0})");
  EXPECT_FALSE(EvaluateCondition(condition, context));
  condition["right"] = Json::Int64(4294967296LL);
  EXPECT_TRUE(EvaluateCondition(condition, context));
}

TEST(Conditions, AnObjectIsNoListOfConditions) {
  // The object's members are never evaluated: "and" over no list holds even when its member
  // fails, "or" over no list fails even when its member holds.
  const Json::Value context = J(R"({"n": 5})");
  EXPECT_TRUE(EvaluateCondition(J(R"({"type": "and", "value": {"x": )" FAILS "}})"), context));
  EXPECT_FALSE(EvaluateCondition(J(R"({"type": "or", "value": {"x": )" HOLDS "}})"), context));
  // The same members in a list are evaluated.
  EXPECT_FALSE(EvaluateCondition(J(R"({"type": "and", "value": [)" FAILS "]})"), context));
  EXPECT_TRUE(EvaluateCondition(J(R"({"type": "or", "value": [)" HOLDS "]})"), context));
}

Json::Value MatchCondition(const char* type, const std::string& pattern) {
  Json::Value condition;
  condition["type"] = type;
  condition["left"] = ".s";
  condition["right"] = pattern;
  return condition;
}

Json::Value Subject(const std::string& text) {
  Json::Value context;
  context["s"] = text;
  return context;
}

std::string Repeated(const std::string& part, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += part;
  return text;
}

std::string Nested(int depth, const std::string& open) {
  return Repeated(open, depth) + "a" + std::string(depth, ')');
}

// Patterns past 4096 characters are refused before they are compiled. Patterns at the limit,
// however deeply nested, are compiled and matched on a thread of their own, with the default
// stack the session thread gets.
TEST(Conditions, PatternsBeyondTheLengthLimitAreRefused) {
  for (const std::string& pattern :
       {Nested(30000, "("), Nested(2048, "("), std::string(4097, 'a'), Repeated(".*", 2049)}) {
    SCOPED_TRACE(pattern.substr(0, 20) + "... of " + std::to_string(pattern.size()));
    try {
      EvaluateCondition(MatchCondition("regex_match", pattern), Subject("a"));
      ADD_FAILURE() << "no exception";
    } catch (const std::regex_error& e) {
      EXPECT_EQ(std::regex_constants::error_complexity, e.code());
      EXPECT_NE(std::string::npos, std::string(e.what()).find("longer than 4096 characters"))
          << e.what();
    }
  }
  struct Accepted {
    std::string pattern;
    std::string subject;
  };
  const std::vector<Accepted> accepted = {
      {Nested(2047, "("), "a"},
      {Nested(1023, "(?:"), "a"},
      {std::string(4096, 'a'), std::string(4096, 'a')},
      {Repeated("()", 2048), ""},
      {Repeated("a|", 2047) + "a", "a"},
      {Repeated("(a)", 1365), std::string(1365, 'a')},
      // Parentheses in a class or escaped are characters, not groups.
      {Repeated("[(]", 1000), std::string(1000, '(')},
      {Repeated("\\(", 1000), std::string(1000, '(')},
      {Repeated("[^)]", 800), std::string(800, '(')},
      {Repeated(".", 4096), std::string(4096, 'x')},
  };
  for (const Accepted& c : accepted) {
    SCOPED_TRACE(c.pattern.substr(0, 20) + "... of " + std::to_string(c.pattern.size()));
    bool holds = false;
    std::thread([&] {
      try {
        holds = EvaluateCondition(MatchCondition("regex_match", c.pattern), Subject(c.subject));
      } catch (const std::exception& e) {
        ADD_FAILURE() << e.what();
      }
    }).join();
    EXPECT_TRUE(holds);
  }
}

// What configurations rely on: ECMAScript syntax, a match of the whole text, bytes as
// characters, "." stopping at line ends, case folded for letters. Each case is also run
// through the standard library's ECMAScript matcher, which conditions used before, to show
// that the meaning did not change.
TEST(Conditions, PatternsMeanWhatTheyMeantToTheEcmaScriptMatcher) {
  struct Case {
    std::string pattern;
    std::string subject;
    bool ignoreCase;
    bool holds;
  };
  const std::string registered = "Intel(R) HD Graphics \xAE 620";  // a Latin-1 byte from WMI
  const std::vector<Case> cases = {
      {"abc", "abc", false, true},
      {"abc", "xabc", false, false},
      {"abc", "abcx", false, false},
      {"b", "abc", false, false},
      {"^abc$", "abc", false, true},
      {"a|ab", "ab", false, true},
      {"ab|a", "ab", false, true},
      {"(a|ab)(c|bcd)", "abcd", false, true},
      {"", "", false, true},
      {"a|", "", false, true},
      {"x*", "", false, true},
      {"\\d+(\\.\\d+)*", "10.0.19041", false, true},
      {"\\d+(\\.\\d+)*", "10.0.", false, false},
      {"6\\.[1-3]\\..*", "6.1.7601", false, true},
      {"[0-9]{2,3}", "1234", false, false},
      {"[0-9]{2,3}", "123", false, true},
      {"a{2}", "aa", false, true},
      {"a+?", "aaa", false, true},
      {"(?:ab)+", "ababab", false, true},
      {"\\w+\\s\\w+", "Radeon RX", false, true},
      {"\\S+", "a b", false, false},
      {"\\D*", "abc", false, true},
      {".*\\bHD\\b.*", "Intel HD Graphics", false, true},
      {".*\\bHD\\b.*", "Intel HDGraphics", false, false},
      {"[^a-c]+", "xyz", false, true},
      {"[^a-c]+", "xbz", false, false},
      {"[.]", ".", false, true},
      {"[.]", "x", false, false},
      {"\\.", "x", false, false},
      {"[\\]]", "]", false, true},
      {"[a\\-z]+", "a-z", false, true},
      {"\\(x\\)", "(x)", false, true},
      {"\\u0041", "A", false, true},
      {"[\\u0041-\\u0043]+", "ABC", false, true},
      {"\\x41", "A", false, true},
      // "." is any byte but a line feed or carriage return.
      {"a.c", "abc", false, true},
      {"a.c", "a\tc", false, true},
      {"a.c", "a\nc", false, false},
      {"a.c", "a\rc", false, false},
      {".*", "two\nlines", false, false},
      {"[^x]", "\n", false, true},
      // ECMAScript's empty class matches nothing, its negation anything.
      {"[]", "", false, false},
      {"a[]", "a]", false, false},
      {"[^]", "\n", false, true},
      {"a[^]c", "a]c", false, true},
      // Bytes are characters: a two-byte UTF-8 letter is two of them.
      {"Jos.", "Jos\xC3\xA9", false, false},
      {"Jos..", "Jos\xC3\xA9", false, true},
      {"Jos\xC3\xA9", "Jos\xC3\xA9", false, true},
      {".*Intel.*", registered, false, true},
      {".*\\(R\\).*620", registered, false, true},
      {std::string("a\0b", 3), std::string("a\0b", 3), false, true},
      // Case: "i" variants fold letters.
      {"ABC", "abc", false, false},
      {"ABC", "abc", true, true},
      {"ABC", "abd", true, false},
      {"[A-Z]+", "nvidia", true, true},
      {"[a-z]+", "NVIDIA", true, true},
      {".*geforce.*", "NVIDIA GeForce GTX 1050", true, true},
      {"\\W", "A", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("\"" + c.pattern + "\" against \"" + c.subject + "\"" +
                 (c.ignoreCase ? " ignoring case" : ""));
    const char* type = c.ignoreCase ? "regex_imatch" : "regex_match";
    EXPECT_EQ(c.holds, EvaluateCondition(MatchCondition(type, c.pattern), Subject(c.subject)));
    auto flags = std::regex::ECMAScript;
    if (c.ignoreCase) flags |= std::regex::icase;
    EXPECT_EQ(c.holds, std::regex_match(c.subject, std::regex(c.pattern, flags)))
        << "the standard library's matcher disagrees";
  }
}

// A pattern of 4,001 characters that a backtracking matcher needs about 16 s for on 20,000
// characters, and hours on an 8 MiB answer of the web service; here both decide, either way.
TEST(Conditions, PathologicalPatternsDecideOnLongTexts) {
  const std::string pattern = Repeated(".*", 2000) + "b";
  for (std::size_t length : {std::size_t{20000}, std::size_t{8} << 20}) {
    SCOPED_TRACE(length);
    std::string text(length, 'a');
    EXPECT_FALSE(EvaluateCondition(MatchCondition("regex_match", pattern), Subject(text)));
    EXPECT_TRUE(EvaluateCondition(MatchCondition("regex_notimatch", pattern), Subject(text)));
    text.back() = 'b';
    EXPECT_TRUE(EvaluateCondition(MatchCondition("regex_match", pattern), Subject(text)));
    EXPECT_TRUE(EvaluateCondition(MatchCondition("regex_imatch", pattern), Subject(text)));
    text[length / 2] = '\n';  // "." stops at a line end
    EXPECT_FALSE(EvaluateCondition(MatchCondition("regex_match", pattern), Subject(text)));
  }
  // Nested repeats that make a backtracking matcher try every split of the text.
  const std::string text(1 << 20, 'a');
  EXPECT_FALSE(EvaluateCondition(MatchCondition("regex_match", "(a*)*b"), Subject(text)));
  EXPECT_FALSE(EvaluateCondition(MatchCondition("regex_match", "(a|aa)+c"), Subject(text)));
  EXPECT_TRUE(EvaluateCondition(MatchCondition("regex_match", "(a|aa)+"), Subject(text)));
}

// Back-references and look-arounds need a backtracking matcher: such a pattern is a
// configuration error, raised as every invalid pattern is, with the reason in its text.
TEST(Conditions, PatternsThatNeedBacktrackingAreConfigurationErrors) {
  struct Case {
    const char* pattern;
    const char* reason;
  };
  const std::vector<Case> cases = {
      {"(a)\\1", "back-references are not supported"},
      {"(a)(b)\\2", "back-references are not supported"},
      {"(a)[x]\\9", "back-references are not supported"},
      {"(?=a)a", "look-ahead and look-behind are not supported"},
      {"a(?!b).", "look-ahead and look-behind are not supported"},
      {"(?<=a)b", "look-ahead and look-behind are not supported"},
      {"(?<!a)b", "look-ahead and look-behind are not supported"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    for (const char* type : {"regex_match", "regex_notmatch", "regex_imatch", "regex_notimatch"}) {
      try {
        EvaluateCondition(MatchCondition(type, c.pattern), Subject("aa"));
        ADD_FAILURE() << "no exception for " << type;
      } catch (const std::regex_error& e) {
        const std::string text = e.what();
        EXPECT_EQ(0u, text.find(std::string("Invalid regular expression \"") + c.pattern + "\": "))
            << text;
        EXPECT_NE(std::string::npos, text.find(c.reason)) << text;
      }
    }
  }
}

TEST(Conditions, ConfigurationErrorsRaise) {
  struct Case {
    const char* condition;
    const char* context;
    const char* message;  // the JSON library's message; nullptr for a regular-expression error
  };
  const std::vector<Case> cases = {
      {RAISING, R"({"n": 5})", "Type is not convertible to int"},
      {R"({"type": "lt", "left": ".n", "right": [1]})", R"({"n": 5})",
       "Type is not convertible to int"},
      {R"({"type": "lt", "left": ".n", "right": {}})", R"({"n": 5})",
       "Type is not convertible to int"},
      {R"({"type": "lt", "left": ".n", "right": 3e9})", R"({"n": 5})",
       "Real out of signed integer range"},
      {R"({"type": "gt", "left": ".n", "right": -2147483649.0})", R"({"n": 5})",
       "Real out of signed integer range"},
      {R"({"type": "lt", "left": ".n", "right": 2147483648})", R"({"n": 5})",
       "integer out of signed integer range"},
      {R"({"type": "gt", "left": ".n", "right": -2147483649})", R"({"n": 5})",
       "integer out of signed integer range"},
      {R"({"type": "eq", "left": 5, "right": 5})", "{}", "Type is not convertible to string"},
      {R"({"type": "ne", "left": [".n"], "right": 5})", "{}", "Type is not convertible to string"},
      {R"({"type": "lt", "left": 1.5, "right": 5})", "{}", "Type is not convertible to string"},
      {R"({"type": "regex_match", "left": {}, "right": "x"})", "{}",
       "Type is not convertible to string"},
      {R"({"type": "regex_match", "left": ".s", "right": 5})", R"({"s": "5"})",
       "Type is not convertible to string"},
      {R"({"type": 1})", "{}", "Type is not convertible to string"},
      {R"({"type": "and", "value": [)" HOLDS "," RAISING "]}", R"({"n": 5})",
       "Type is not convertible to int"},
      {R"({"type": "or", "value": [)" FAILS "," RAISING "]}", R"({"n": 5})",
       "Type is not convertible to int"},
      {R"({"type": "regex_match", "left": ".s", "right": "("})", R"({"s": "x"})", nullptr},
      {R"({"type": "regex_notimatch", "left": ".s", "right": "[a-"})", R"({"s": "x"})", nullptr},
      // A quantifier with nothing to repeat; counts out of order.
      {R"({"type": "regex_match", "left": ".s", "right": "*a"})", R"({"s": "a"})", nullptr},
      {R"({"type": "regex_match", "left": ".s", "right": "a{2,1}"})", R"({"s": "a"})", nullptr},
      {R"({"type": "regex_match", "left": ".s", "right": "\\"})", R"({"s": "a"})", nullptr},
      {R"({"type": "regex_match", "left": ".s", "right": "(a)\\1"})", R"({"s": "aa"})", nullptr},
      // Repeat counts too long to be numbers are errors, not literal text.
      {R"({"type": "regex_match", "left": ".s", "right": "(a)\\63222222222222222222"})",
       R"({"s": "a"})", nullptr},
      {R"({"type": "regex_imatch", "left": ".s", "right": "a{1,99999999999}"})", R"({"s": "a"})",
       nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.condition) + " in " + c.context);
    const Json::Value condition = J(c.condition);
    const Json::Value context = J(c.context);
    if (!c.message) {
      EXPECT_THROW(EvaluateCondition(condition, context), std::regex_error);
      continue;
    }
    try {
      EvaluateCondition(condition, context);
      ADD_FAILURE() << "no exception";
    } catch (const Json::LogicError& e) {
      EXPECT_STREQ(c.message, e.what());
    }
  }
}

#undef RAISING
#undef HOLDS
#undef FAILS

}  // namespace
}  // namespace orvex
