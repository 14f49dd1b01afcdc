// Rule conditions: comparisons, regular expressions and their combinations, evaluated against
// a context tree, and the configuration errors that escape as exceptions.

#include <gtest/gtest.h>

#include <regex>
#include <thread>
#include <string>
#include <vector>

#include "engine/conditions.h"
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
      {R"({"type": "and", "value": [{"type": "or", "value": [)" FAILS "," HOLDS "]}, " HOLDS
       "]}",
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

TEST(Conditions, AnObjectAsListOfConditionsDoesNotCrash) {
  const Json::Value context = J(R"({"n": 5})");
  EXPECT_NO_THROW(EvaluateCondition(J(R"({"type": "and", "value": {"x": )" FAILS "}})"), context));
  EXPECT_NO_THROW(EvaluateCondition(J(R"({"type": "or", "value": {"x": )" HOLDS "}})"), context));
}

// Patterns past 100 nested groups or 4096 characters are refused before they are compiled:
// compiling them would overflow the stack of the thread that runs the conditions. Patterns
// at the limits are compiled and matched on a thread of their own, with the default stack
// the session thread gets.
TEST(Conditions, PatternsBeyondTheLimitsAreRefusedBeforeCompiling) {
  const auto nested = [](int depth, const std::string& open) {
    std::string pattern;
    for (int i = 0; i < depth; ++i) pattern += open;
    pattern += "a";
    return pattern + std::string(depth, ')');
  };
  const auto repeat = [](const std::string& part, int times) {
    std::string text;
    for (int i = 0; i < times; ++i) text += part;
    return text;
  };
  for (const std::string& pattern : {nested(30000, "("), nested(10000, "("), nested(101, "(?:"),
                                     nested(101, "("), "[]" + nested(101, "("),
                                     "[(]" + nested(101, "("), std::string(4097, 'a')}) {
    SCOPED_TRACE(pattern.substr(0, 20) + "... of " + std::to_string(pattern.size()));
    Json::Value condition;
    condition["type"] = "regex_match";
    condition["left"] = ".s";
    condition["right"] = pattern;
    try {
      EvaluateCondition(condition, J(R"({"s": "a"})"));
      ADD_FAILURE() << "no exception";
    } catch (const std::regex_error& e) {
      EXPECT_EQ(std::regex_constants::error_complexity, e.code());
    }
  }
  struct Accepted {
    std::string pattern;
    std::string subject;
  };
  const std::vector<Accepted> accepted = {
      {nested(100, "("), "a"},
      {nested(100, "(?:"), "a"},
      {std::string(4096, 'a'), std::string(4096, 'a')},
      {repeat("()", 2048), ""},
      {repeat("a|", 2047) + "a", "a"},
      {repeat("(a)", 1365), std::string(1365, 'a')},
      // Parentheses in a class or escaped are characters, not groups.
      {repeat("[(]", 1000), std::string(1000, '(')},
      {repeat("\\(", 1000), std::string(1000, '(')},
      {repeat("[^)]", 800), std::string(800, '(')},
  };
  for (const Accepted& c : accepted) {
    SCOPED_TRACE(c.pattern.substr(0, 20) + "... of " + std::to_string(c.pattern.size()));
    Json::Value condition;
    condition["type"] = "regex_match";
    condition["left"] = ".s";
    condition["right"] = c.pattern;
    Json::Value context;
    context["s"] = c.subject;
    bool holds = false;
    std::thread([&] {
      try {
        holds = EvaluateCondition(condition, context);
      } catch (const std::exception& e) {
        ADD_FAILURE() << e.what();
      }
    }).join();
    EXPECT_TRUE(holds);
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
      // Back-references are refused by the breadth-first matcher.
      {R"({"type": "regex_match", "left": ".s", "right": "(a)\\1"})", R"({"s": "aa"})", nullptr},
      // Numbers the library would overflow while reading them are refused up front.
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
