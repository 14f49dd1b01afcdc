#pragma once
// Whole-string matching of the rule conditions' regular expressions. Patterns are written in
// ECMAScript syntax and matched by RE2, whose time is linear in the text: a backtracking
// matcher can take hours on a pattern of a few thousand characters and a text of a few
// megabytes (a web-service answer), and nothing can stop a running module.
//
// Patterns mean what they meant to the standard library's ECMAScript matcher, which conditions
// used before (engine/ecmascript_to_re2.h): texts are matched byte by byte, as they are held in
// the session document, "." is any byte but a line feed or carriage return, and case is
// ignored for the ASCII letters only.

#include <regex>
#include <string>

namespace orvex {

// A pattern that cannot be matched: not a regular expression, beyond the size limits, or a
// construct that needs backtracking (back-references, look-arounds). Derives from the
// standard library's error so that it travels where every pattern error travels; its text
// names the pattern's fault.
class InvalidPattern : public std::regex_error {
 public:
  InvalidPattern(std::regex_constants::error_type code, std::string text)
      : std::regex_error(code), text_(std::move(text)) {}
  const char* what() const noexcept override { return text_.c_str(); }

 private:
  std::string text_;
};

// Whether the whole of text matches pattern (any of several possible matches will do).
// Throws InvalidPattern.
bool MatchesWhole(const std::string& text, const std::string& pattern, bool ignoreCase);

}  // namespace orvex
