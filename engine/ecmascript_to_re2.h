#pragma once
// ECMAScript patterns, read as the C++ standard library's ECMAScript grammar reads them (the
// matcher conditions had before RE2), written again in RE2's syntax so that RE2 decides every
// text the same way. The translation owns every character's meaning: each character class,
// escape and letter (case folded or not) becomes an explicit set of bytes, so RE2 is run
// byte-wise (Latin-1) and case-sensitively and none of its own readings of escapes, classes or
// case applies.
//
// What it reproduces: any byte but LF and CR for "."; "[]" matching nothing and "[^]" anything;
// POSIX names, collating symbols and equivalence classes inside brackets; \d \s \w with their
// C-locale sets (\s includes the vertical tab); \b and \B with ASCII word characters; case
// folding of ASCII letters only; identity escapes (\a is "a", \z is "z", \Q is "Q", \cJ is "J");
// \xNN and \uNNNN as the low byte of their value; \b in brackets as backspace; ranges ordered
// as signed chars; quantifiers stacked on quantifiers; repeat counts beyond RE2's 1000.
//
// What it refuses: what that grammar refuses (back-references included: the matcher ran in its
// polynomial mode, which has none), look-aheads, which need backtracking, and repeat counts
// above 100000, beyond the 100000 automaton states that matcher allowed. Nesting is not
// limited (it refused more than 100 nested groups; RE2 needs no such limit).

#include <regex>
#include <string>

namespace orvex {

struct PatternFault {
  std::regex_constants::error_type code = std::regex_constants::error_complexity;
  std::string why;  // names the construct, e.g. "back-reference \\1: back-references are ..."
};

// Writes the RE2 pattern for pattern (matched with ignoreCase as given) into *re2 and returns
// 0, or describes the fault in *fault and returns -1.
int TranslateToRe2(const std::string& pattern, bool ignoreCase, std::string* re2,
                   PatternFault* fault);

}  // namespace orvex
