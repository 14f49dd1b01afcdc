#include "engine/whole_match.h"

#include <re2/re2.h>

#include <cctype>
#include <cstddef>
#include <cstdint>

namespace orvex {

namespace {

// Conditions compare versions, vendor names and the like; 4096 characters are far beyond what
// they need. The limit also bounds the work per byte of text when the matcher has to leave
// its automaton cache for step-by-step simulation, and the work of compiling, which happens at
// every evaluation.
constexpr std::size_t kMaxPatternLength = 4096;
// What one compiled pattern may hold, program and automaton cache together. Within it the
// longest pattern above compiles and the cache holds the few states that patterns of
// conditions need; beyond it the matcher falls back to its slower linear simulation.
constexpr int64_t kMaxMatcherMemory = 16 << 20;

std::string Quoted(const std::string& pattern) {
  constexpr std::size_t kShown = 60;
  if (pattern.size() <= kShown) return "\"" + pattern + "\"";
  return "\"" + pattern.substr(0, kShown) + "...\" (" + std::to_string(pattern.size()) +
         " characters)";
}

[[noreturn]] void Refuse(std::regex_constants::error_type code, const std::string& pattern,
                         const std::string& why) {
  throw InvalidPattern(code, "Invalid regular expression " + Quoted(pattern) + ": " + why);
}

// A repeat count too long to be a number is refused rather than read as literal text, which is
// what the matcher would make of "a{1,99999999999}".
void RefuseOversizedCounts(const std::string& pattern) {
  constexpr std::size_t kMaxDigits = 9;
  bool inBraces = false;
  std::size_t digits = 0;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '\\') {
      ++i;
      digits = 0;
    } else if (c == '{') {
      inBraces = true;
      digits = 0;
    } else if (c == '}') {
      inBraces = false;
    } else if (inBraces && c >= '0' && c <= '9') {
      if (++digits > kMaxDigits)
        Refuse(std::regex_constants::error_badbrace, pattern, "repeat count too large");
    } else {
      digits = 0;
    }
  }
}

// \u and four hexadecimal digits: ECMAScript's character escape, which RE2 writes \x{...}.
bool IsUnicodeEscape(const std::string& pattern, std::size_t at) {
  if (pattern.compare(at, 2, "\\u") != 0 || pattern.size() < at + 6) return false;
  for (std::size_t i = at + 2; i < at + 6; ++i)
    if (!std::isxdigit(static_cast<unsigned char>(pattern[i]))) return false;
  return true;
}

// Appends the escape at pattern[at] in RE2's syntax; returns its length.
std::size_t AppendEscape(const std::string& pattern, std::size_t at, std::string* out) {
  if (IsUnicodeEscape(pattern, at)) {
    *out += "\\x{" + pattern.substr(at + 2, 4) + "}";
    return 6;
  }
  out->append(pattern, at, 2);
  return 2;
}

// ECMAScript's forms that mean something else to RE2, rewritten to RE2's: "." matches neither
// a line feed nor a carriage return, "[]" is a class that matches nothing and "[^]" one that
// matches anything (to RE2 a "]" first in a class is a member), and \uXXXX is a character
// escape. Everything else is passed on.
std::string ToRe2Syntax(const std::string& pattern) {
  std::string out;
  out.reserve(pattern.size() + 16);
  std::size_t i = 0;
  while (i < pattern.size()) {
    const char c = pattern[i];
    if (c == '\\') {
      i += AppendEscape(pattern, i, &out);
    } else if (c == '.') {
      out += "[^\\n\\r]";
      ++i;
    } else if (pattern.compare(i, 2, "[]") == 0) {
      out += "[^\\x00-\\xff]";
      i += 2;
    } else if (pattern.compare(i, 3, "[^]") == 0) {
      out += "[\\x00-\\xff]";
      i += 3;
    } else if (c == '[') {
      // The class up to its first unescaped "]" (none: RE2 reports the fault).
      const std::size_t open = pattern.compare(i, 2, "[^") == 0 ? 2 : 1;
      out.append(pattern, i, open);
      i += open;
      while (i < pattern.size() && pattern[i] != ']') {
        if (pattern[i] == '\\')
          i += AppendEscape(pattern, i, &out);
        else
          out += pattern[i++];
      }
      if (i < pattern.size()) out += pattern[i++];
    } else {
      out += c;
      ++i;
    }
  }
  return out;
}

std::regex_constants::error_type StandardCode(RE2::ErrorCode code) {
  switch (code) {
    case RE2::ErrorBadEscape:
    case RE2::ErrorTrailingBackslash:
      return std::regex_constants::error_escape;
    case RE2::ErrorBadCharClass:
    case RE2::ErrorBadCharRange:
      return std::regex_constants::error_range;
    case RE2::ErrorMissingBracket:
      return std::regex_constants::error_brack;
    case RE2::ErrorMissingParen:
    case RE2::ErrorBadPerlOp:
    case RE2::ErrorBadNamedCapture:
      return std::regex_constants::error_paren;
    case RE2::ErrorRepeatSize:
      return std::regex_constants::error_badbrace;
    case RE2::ErrorRepeatArgument:
    case RE2::ErrorRepeatOp:
      return std::regex_constants::error_badrepeat;
    default:
      return std::regex_constants::error_complexity;
  }
}

// RE2's message, and the reason where the pattern needs what only a backtracking matcher does.
std::string Explanation(const RE2& compiled) {
  std::string why = compiled.error();
  const std::string& part = compiled.error_arg();
  if (compiled.error_code() == RE2::ErrorBadPerlOp &&
      (part.compare(0, 3, "(?=") == 0 || part.compare(0, 3, "(?!") == 0 ||
       part.compare(0, 3, "(?<") == 0))
    why += " (look-ahead and look-behind are not supported)";
  else if (compiled.error_code() == RE2::ErrorBadEscape && part.size() >= 2 && part[1] >= '1' &&
           part[1] <= '9')
    why += " (back-references are not supported)";
  return why;
}

}  // namespace

bool MatchesWhole(const std::string& text, const std::string& pattern, bool ignoreCase) {
  if (pattern.size() > kMaxPatternLength)
    Refuse(std::regex_constants::error_complexity, pattern,
           "longer than " + std::to_string(kMaxPatternLength) + " characters");
  RefuseOversizedCounts(pattern);
  RE2::Options options;
  options.set_encoding(RE2::Options::EncodingLatin1);  // one byte, one character
  options.set_case_sensitive(!ignoreCase);
  options.set_max_mem(kMaxMatcherMemory);
  options.set_log_errors(false);  // the fault travels in the exception, not on stderr
  const RE2 compiled(ToRe2Syntax(pattern), options);
  if (!compiled.ok()) Refuse(StandardCode(compiled.error_code()), pattern, Explanation(compiled));
  return RE2::FullMatch(text, compiled);
}

}  // namespace orvex
