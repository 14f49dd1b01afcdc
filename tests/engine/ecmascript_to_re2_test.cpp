// Patterns translated to RE2 (engine/ecmascript_to_re2), matched through MatchesWhole as
// conditions match them, decide every text as the standard library's ECMAScript matcher did
// when conditions used it (with its polynomial mode and its limits), or are refused with a
// message that names the pattern and the construct.

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "engine/whole_match.h"

namespace orvex {
namespace {

// ---- The matcher conditions used before, as they used it.

// Its checks before compiling: length, nesting, and digit runs that it would have read into an
// int without checking for overflow.
bool RefusedBeforeCompiling(const std::string& pattern) {
  if (pattern.size() > 4096) return true;
  int depth = 0;
  bool inClass = false;
  bool inBraces = false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    char c = pattern[i];
    bool counted = inBraces;
    if (c == '\\' && i + 1 < pattern.size()) {
      c = pattern[++i];
      counted = true;
    } else if (c == '{' || c == '}') {
      inBraces = c == '{';
      continue;
    }
    if (counted && c >= '0' && c <= '9') {
      std::size_t digits = 0;
      while (i < pattern.size() && pattern[i] >= '0' && pattern[i] <= '9') ++digits, ++i;
      --i;
      if (digits > 9) return true;
    }
  }
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '\\') {
      ++i;
    } else if (inClass) {
      inClass = c != ']';
    } else if (c == '[') {
      inClass = true;
    } else if (c == '(' && ++depth > 100) {
      return true;
    } else if (c == ')' && depth > 0) {
      --depth;
    }
  }
  return false;
}

// Verdicts of the former matcher for each text, or false when it refused the pattern (*tooLarge
// then tells whether only its limit of 100000 automaton states refused it).
bool FormerVerdicts(const std::string& pattern, bool ignoreCase,
                    const std::vector<std::string>& texts, std::vector<bool>* verdicts,
                    bool* tooLarge = nullptr) {
  if (tooLarge) *tooLarge = false;
  if (RefusedBeforeCompiling(pattern)) return false;
  auto flags = std::regex::ECMAScript | std::regex_constants::__polynomial;
  if (ignoreCase) flags |= std::regex::icase;
  try {
    const std::regex compiled(pattern, flags);
    verdicts->clear();
    for (const std::string& text : texts) verdicts->push_back(std::regex_match(text, compiled));
    return true;
  } catch (const std::regex_error& e) {
    if (tooLarge) *tooLarge = e.code() == std::regex_constants::error_space;
    return false;
  }
}

// Ours, through the function conditions call; false when the pattern is refused.
bool OurVerdicts(const std::string& pattern, bool ignoreCase, const std::vector<std::string>& texts,
                 std::vector<bool>* verdicts, std::string* refusal) {
  verdicts->clear();
  try {
    for (const std::string& text : texts)
      verdicts->push_back(MatchesWhole(text, pattern, ignoreCase));
    return true;
  } catch (const InvalidPattern& e) {
    *refusal = e.what();
    return false;
  }
}

// ---- Generated patterns and texts: a fixed seed, so every run tries the same cases.

class Generator {
 public:
  explicit Generator(uint32_t seed) : random_(seed) {}

  // Now and then one invalid piece is put in at a random place.
  std::string Pattern() {
    std::string pattern = Alternatives(0);
    if (Chance(8)) pattern.insert(Below(static_cast<uint32_t>(pattern.size()) + 1), Pick(kFaults));
    return pattern;
  }

  // Bytes of the pattern itself half of the time, which makes matches likelier.
  std::string Text(const std::string& pattern) {
    std::string text;
    const std::size_t length = Below(6);
    const bool fromPattern = Chance(2) && !pattern.empty();
    for (std::size_t i = 0; i < length; ++i)
      text += fromPattern ? pattern[Below(static_cast<uint32_t>(pattern.size()))]
                          : kTextBytes[Below(sizeof kTextBytes - 1)];
    return text;
  }

  bool Chance(uint32_t oneIn) { return Below(oneIn) == 0; }

 private:
  uint32_t Below(uint32_t bound) { return static_cast<uint32_t>(random_() % bound); }

  template <std::size_t N>
  std::string Pick(const char* const (&choices)[N]) {
    return choices[Below(N)];
  }

  std::string Alternatives(int depth) {
    std::string pattern = Sequence(depth);
    while (Chance(8)) pattern += "|" + Sequence(depth);
    return pattern;
  }

  std::string Sequence(int depth) {
    std::string sequence;
    const uint32_t terms = 1 + Below(4);
    for (uint32_t i = 0; i < terms; ++i) sequence += Term(depth);
    return sequence;
  }

  std::string Term(int depth) {
    std::string atom;
    switch (Below(depth < 2 ? 8 : 6)) {
      case 0:
      case 1:
        atom = Pick(kCharacters);
        break;
      case 2:
        atom = Pick(kEscapes);
        break;
      case 3:
      case 4:
        atom = Bracket();
        break;
      case 5:
        if (Chance(3)) return Pick(kAssertions);
        atom = Chance(2) ? "." : Pick(kCharacters);
        break;
      default:
        atom = std::string(Chance(2) ? "(" : "(?:") + Alternatives(depth + 1) + ")";
        break;
    }
    while (Chance(3)) atom += Pick(kQuantifiers);
    return atom;
  }

  std::string Bracket() {
    std::string bracket = Chance(4) ? "[^" : "[";
    const uint32_t members = Below(4);
    for (uint32_t i = 0; i < members; ++i) {
      switch (Below(4)) {
        case 0:
          bracket += Pick(kPosixNames);
          break;
        case 1:
          bracket += Pick(kBracketMembers);
          break;
        case 2:
          bracket += Pick(kRanges);
          break;
        default:
          bracket += Pick(kCharacters);
          break;
      }
    }
    return bracket + "]";
  }

  static constexpr const char* kCharacters[] = {"a", "b",    "A",    "B",    "z",    "0", "5", ".",
                                                "_", "-",    "]",    "}",    " ",    ":", "x", "J",
                                                "e", "\xE9", "\xC9", "\xFF", "\x80", "\t"};
  static constexpr const char* kEscapes[] = {
      "\\d",   "\\D",   "\\s",   "\\S",     "\\w",     "\\W",     "\\b", "\\B", "\\a",
      "\\z",   "\\A",   "\\Q",   "\\E",     "\\e",     "\\k",     "\\g", "\\Z", "\\cJ",
      "\\x41", "\\xe9", "\\xC9", "\\u0041", "\\u00c9", "\\u0141", "\\0", "\\t", "\\v",
      "\\n",   "\\f",   "\\.",   "\\-",     "\\]",     "\\\\"};
  static constexpr const char* kAssertions[] = {"^", "$", "\\b", "\\B"};
  static constexpr const char* kQuantifiers[] = {"*",   "+",     "?",      "{0}",  "{1}",
                                                 "{2}", "{1,2}", "{0,3}",  "{2,}", "*?",
                                                 "+?",  "??",    "{1,2}?", "{3}"};
  static constexpr const char* kPosixNames[] = {
      "[:digit:]",  "[:alpha:]",  "[:alnum:]", "[:space:]", "[:upper:]", "[:lower:]",
      "[:punct:]",  "[:xdigit:]", "[:blank:]", "[:cntrl:]", "[:print:]", "[:graph:]",
      "[:w:]",      "[:d:]",      "[:s:]",     "[:DIGIT:]", "[:Alpha:]", "[.a.]",
      "[.hyphen.]", "[.space.]",  "[.zero.]",  "[=a=]",     "[=E=]"};
  static constexpr const char* kBracketMembers[] = {
      "\\d",     "\\D",  "\\s", "\\S",  "\\w", "\\W", "\\b", "\\n", "\\t", "\\v", "\\x41", "\\xe9",
      "\\u00e9", "\\cJ", "\\]", "\\\\", "\\-", "\\a", "\\z", "^",   "-",   "--",  "["};
  static constexpr const char* kRanges[] = {
      "a-z",         "A-Z",         "0-9",         "a-f", "Z-a",   "9-A",    "--0",
      "\\x80-\\xff", "\\x00-\\x7f", "\\xc0-\\xde", "a-",  "x-y-z", "[.a.]-z"};
  // Pieces the former matcher refused, or that only it refused for their size.
  static constexpr const char* kFaults[] = {")",
                                            "(",
                                            "[",
                                            "{",
                                            "\\",
                                            "{2",
                                            "*",
                                            "\\1",
                                            "\\x4",
                                            "\\u12",
                                            "{3,1}",
                                            "{,2}",
                                            "[[:foo:]]",
                                            "[[.0.]]",
                                            "[[:digit]",
                                            "[z-a]",
                                            "[a-\\d]",
                                            "[\\w-a]",
                                            "[[:alpha:]-z]",
                                            "[\\x00-\\xff]",
                                            "[\\B]",
                                            "(?x)"};
  static constexpr char kTextBytes[] = "aAbBzZeExJQk059._-]} :\t\v\n\r\f\b\xE9\xC9\xFF\x80\0";

  std::mt19937 random_;
};

// ---- The tests.

TEST(EcmaScriptToRe2, GeneratedPatternsDecideAsTheFormerMatcherDid) {
  constexpr int kPatterns = 2000;
  constexpr int kTextsPerPattern = 8;
  Generator generate(20261211);
  int compared = 0;
  int held = 0;
  int formerRefused = 0;
  int posixBrackets = 0;
  int differences = 0;
  std::string shown;
  for (int p = 0; p < kPatterns; ++p) {
    const std::string pattern = generate.Pattern();
    const bool ignoreCase = generate.Chance(3);
    std::vector<std::string> texts;
    for (int t = 0; t < kTextsPerPattern; ++t) texts.push_back(generate.Text(pattern));
    std::vector<bool> former;
    std::vector<bool> ours;
    std::string refusal;
    bool tooLarge = false;
    const bool formerAccepted = FormerVerdicts(pattern, ignoreCase, texts, &former, &tooLarge);
    const bool weAccepted = OurVerdicts(pattern, ignoreCase, texts, &ours, &refusal);
    const std::string where = "\"" + pattern + "\"" + (ignoreCase ? " ignoring case" : "");
    if (!formerAccepted) {
      ++formerRefused;
      // Beyond the former's 100000 automaton states RE2 may still have room: accepting more
      // than before is allowed there, and only there.
      if (!weAccepted) {
        EXPECT_EQ(0u, refusal.find("Invalid regular expression \"")) << refusal;
      } else if (!tooLarge) {
        ++differences;
        if (shown.size() < 4000) shown += where + ": accepted, was refused\n";
      }
      continue;
    }
    if (!weAccepted) {
      differences += kTextsPerPattern;
      if (shown.size() < 4000) shown += where + ": refused (" + refusal + "), was accepted\n";
      continue;
    }
    if (pattern.find("[:") != std::string::npos) ++posixBrackets;
    for (int t = 0; t < kTextsPerPattern; ++t) {
      ++compared;
      held += former[t] ? 1 : 0;
      if (former[t] == ours[t]) continue;
      ++differences;
      if (shown.size() < 4000)
        shown += where + " against \"" + texts[t] + "\": " + (ours[t] ? "holds" : "fails") +
                 ", was the opposite\n";
    }
  }
  EXPECT_EQ(0, differences) << shown;
  // The cases are worth something: most patterns compile, verdicts go both ways, and POSIX
  // names inside brackets are well represented.
  EXPECT_GT(compared, kPatterns * kTextsPerPattern / 2);
  EXPECT_GT(held, compared / 40);
  EXPECT_GT(formerRefused, kPatterns / 20);
  EXPECT_GT(posixBrackets, kPatterns / 20);
}

// The constructs whose meaning RE2 reads differently, or refuses, and what they still mean.
TEST(EcmaScriptToRe2, ConstructsKeepTheirFormerMeaning) {
  struct Case {
    std::string pattern;
    std::string text;
    bool ignoreCase;
    bool holds;
  };
  const std::vector<Case> cases = {
      // POSIX classes inside brackets, with more after them.
      {"[[:digit:].]+", "10.0.19045", false, true},
      {"[[:alnum:]._-]+", "my_host-1.example", false, true},
      {"[[:alpha:].]+", "x]", false, false},
      {"[[:alpha:].]+", "x.", false, true},
      {"[^[:space:]]+", "a\vb", false, false},
      {"[[:upper:]]", "a", true, true},
      {"[[.hyphen.][=e=]]+", "-eE", false, true},
      // \s includes the vertical tab.
      {"\\s", "\v", false, true},
      {"[\\s]", "\v", false, true},
      // Case folds ASCII letters only, never the Latin-1 letters.
      {"ABC\xC9", "abc\xC9", true, true},
      {"ABC\xC9", "abc\xE9", true, false},
      {"[\xC0-\xDE]", "\xE9", true, false},
      {"\\xc9", "\xE9", true, false},
      {"[a-z]+", "NVIDIA", true, true},
      // Identity escapes are the letters themselves.
      {"\\a", "a", false, true},
      {"\\a", "\a", false, false},
      {"x\\z", "xz", false, true},
      {"\\Ax", "Ax", false, true},
      {"\\Q.\\E", "QxE", false, true},
      {"\\Q.\\E", ".", false, false},
      {"\\e", "e", false, true},
      {"\\k", "k", false, true},
      {"\\g", "g", false, true},
      {"\\Z", "Z", false, true},
      {"\\cJ", "J", false, true},
      {"\\cJ", "\n", false, false},
      {"[\\b]", "\b", false, true},
      {"[\\b]", "b", false, false},
      {"\\u0141", "A", false, true},  // the low byte of the value
      // Quantifiers stacked on quantifiers repeat what they follow.
      {"Intel.*+", "Intel(R) HD Graphics", false, true},
      {"Intel.*+", "Intel", false, true},
      {"a**", "aaa", false, true},
      {"a**", "", false, true},
      {"x{1,2}*", "xxxxx", false, true},
      {"x{1,2}*", "xxy", false, false},
      {"a{2}{3}", "aaaaaa", false, true},
      {"a{2}{3}", "aaaa", false, false},
      // Counts beyond RE2's 1000, alone and nested.
      {".{0,2000}", std::string(2000, 'x'), false, true},
      {".{0,2000}", std::string(2001, 'x'), false, false},
      {"a{1001}", std::string(1001, 'a'), false, true},
      {"a{1001}", std::string(1000, 'a'), false, false},
      {"(a{2}){600}", std::string(1200, 'a'), false, true},
      {"(a{2}){600}", std::string(1201, 'a'), false, false},
      {"(?:ab{1,3}){400,}", std::string(400, 'a') + "bbb", false, false},
      {"(?:ab{1,3}){2,1500}c", "abbbabc", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("\"" + c.pattern.substr(0, 40) + "\" against \"" + c.text.substr(0, 40) + "\"" +
                 (c.ignoreCase ? " ignoring case" : ""));
    EXPECT_EQ(c.holds, MatchesWhole(c.text, c.pattern, c.ignoreCase));
    std::vector<bool> former;
    ASSERT_TRUE(FormerVerdicts(c.pattern, c.ignoreCase, {c.text}, &former));
    EXPECT_EQ(c.holds, former[0]) << "the former matcher disagrees";
  }
}

// Refused patterns are configuration errors whose text names the pattern and the construct.
TEST(EcmaScriptToRe2, RefusalsNameThePatternAndTheConstruct) {
  struct Case {
    const char* pattern;
    const char* construct;
    bool formerRefused;
  };
  const std::vector<Case> cases = {
      {"(a)\\1", "back-reference \\1", true},
      {"(?=a)a", "look-ahead (?=", false},
      {"(?!a)b", "look-ahead (?!", false},
      {"(?<=a)b", "look-behind (?<", true},
      {"[z-a]", "range z-a out of order", true},
      {"[a-\xE9]", "range a-\\xe9 out of order", true},
      {"[[:foo:]]", "unknown character class [:foo:]", true},
      {"[[.ab.]]", "unknown collating element [.ab.]", true},
      {"[\\w-a]", "a range that starts with a class", true},
      {"a{2,1}", "repeat count {2,1} out of order", true},
      {"a{,2}", "bad repeat count at ,", true},
      {"*a", "nothing to repeat before *", true},
      {"^*", "nothing to repeat before *", true},
      {"(a", "missing )", true},
      {"a)", "unmatched )", true},
      {"[a", "missing ]", true},
      {"a\\", "\\ at the end", true},
      {"\\x4g", "\\x needs 2 hexadecimal digits", true},
      {".{0,100001}", "repeat count {0,100001} above 100000", true},
      {"a{1234567890}", "repeat count 1234567890 too large", true},
      {"(?i)a", "unknown group (?i", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    std::vector<bool> former;
    EXPECT_EQ(c.formerRefused, !FormerVerdicts(c.pattern, false, {"a"}, &former));
    try {
      MatchesWhole("a", c.pattern, false);
      ADD_FAILURE() << "accepted";
    } catch (const InvalidPattern& e) {
      const std::string text = e.what();
      EXPECT_EQ(0u, text.find(std::string("Invalid regular expression \"") + c.pattern + "\": "))
          << text;
      EXPECT_NE(std::string::npos, text.find(c.construct)) << text;
    }
  }
}

}  // namespace
}  // namespace orvex
