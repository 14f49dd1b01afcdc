#include "engine/whole_match.h"

#include <re2/re2.h>

#include <cstddef>
#include <cstdint>

#include "engine/ecmascript_to_re2.h"

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

}  // namespace

bool MatchesWhole(const std::string& text, const std::string& pattern, bool ignoreCase) {
  if (pattern.size() > kMaxPatternLength)
    Refuse(std::regex_constants::error_complexity, pattern,
           "longer than " + std::to_string(kMaxPatternLength) + " characters");
  std::string translated;
  PatternFault fault;
  if (TranslateToRe2(pattern, ignoreCase, &translated, &fault) != 0)
    Refuse(fault.code, pattern, fault.why);
  // The translation spells out every byte a character or class matches, case folding
  // included: RE2 reads one byte as one character and folds no case of its own (in Latin-1 it
  // would fold the accented letters 0xC0-0xDE with 0xE0-0xFE).
  RE2::Options options;
  options.set_encoding(RE2::Options::EncodingLatin1);
  options.set_case_sensitive(true);
  options.set_max_mem(kMaxMatcherMemory);
  options.set_log_errors(false);  // the fault travels in the exception, not on stderr
  const RE2 compiled(translated, options);
  // The translation is always RE2 syntax; what RE2 can still refuse is a program beyond its
  // memory, written out from large repeat counts.
  if (!compiled.ok())
    Refuse(std::regex_constants::error_space, pattern,
           "too large for the matcher's memory (" + compiled.error() + ")");
  return RE2::FullMatch(text, compiled);
}

}  // namespace orvex
