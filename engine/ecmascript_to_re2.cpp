#include "engine/ecmascript_to_re2.h"

#include <algorithm>
#include <bitset>
#include <cstddef>
#include <vector>

namespace orvex {

namespace {

using ByteSet = std::bitset<256>;
using Code = std::regex_constants::error_type;

// RE2 refuses a repeat count above 1000, and counts whose product along nested repeats is
// above 1000; larger counts are written out as several repeats in a row.
constexpr long kRe2MaxRepeat = 1000;
// The standard library's matcher refused an automaton of more than 100000 states, so no
// pattern it accepted repeats anything more often than that.
constexpr long kMaxRepeatCount = 100000;
// Counts of more than nine digits were refused before they were read.
constexpr std::size_t kMaxCountDigits = 9;
// What repeats written out may grow the pattern to; beyond it the program would not fit
// RE2's memory budget anyway.
constexpr std::size_t kMaxTranslatedLength = 1 << 20;

// ---- Bytes as the "C" locale classifies them (only ASCII has a class).

unsigned char AsciiLower(unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }
unsigned char AsciiUpper(unsigned char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }

bool IsDigit(int c) { return c >= '0' && c <= '9'; }
bool IsUpper(int c) { return c >= 'A' && c <= 'Z'; }
bool IsLower(int c) { return c >= 'a' && c <= 'z'; }
bool IsAlpha(int c) { return IsUpper(c) || IsLower(c); }
bool IsAlnum(int c) { return IsAlpha(c) || IsDigit(c); }
bool IsSpace(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }  // \t \n \v \f \r
bool IsGraph(int c) { return c > ' ' && c < 127; }
bool IsPunct(int c) { return IsGraph(c) && !IsAlnum(c); }
bool IsXdigit(int c) { return IsDigit(c) || (AsciiLower(c) >= 'a' && AsciiLower(c) <= 'f'); }
bool IsWord(int c) { return IsAlnum(c) || c == '_'; }

template <class Predicate>
ByteSet SetOf(Predicate holds) {
  ByteSet set;
  for (int c = 0; c < 256; ++c) set[c] = holds(c);
  return set;
}

bool IsBlank(int c) { return c == ' ' || c == '\t'; }
bool IsCntrl(int c) { return c < ' ' || c == 127; }
bool IsPrint(int c) { return c >= ' ' && c < 127; }

// The class a POSIX name ([:digit:]) or a class escape's letter (\d) names, its name compared
// without case; with ignoreCase "lower" and "upper" both mean "alpha". False when unknown.
bool NamedClass(std::string name, bool ignoreCase, ByteSet* set) {
  struct Named {
    const char* name;
    bool (*holds)(int);
  };
  static const Named kClasses[] = {{"d", IsDigit},     {"w", IsWord},      {"s", IsSpace},
                                   {"alnum", IsAlnum}, {"alpha", IsAlpha}, {"blank", IsBlank},
                                   {"cntrl", IsCntrl}, {"digit", IsDigit}, {"graph", IsGraph},
                                   {"lower", IsLower}, {"print", IsPrint}, {"punct", IsPunct},
                                   {"space", IsSpace}, {"upper", IsUpper}, {"xdigit", IsXdigit}};
  for (char& c : name) c = static_cast<char>(AsciiLower(static_cast<unsigned char>(c)));
  if (ignoreCase && (name == "lower" || name == "upper")) name = "alpha";
  for (const Named& named : kClasses) {
    if (name != named.name) continue;
    *set = SetOf(named.holds);
    return true;
  }
  return false;
}

// The byte a collating element's name ([.hyphen.], [=a=]) stands for: the names of the POSIX
// portable character set, byte 0 to 127 in order. False when unknown.
bool CollatingElement(const std::string& name, unsigned char* byte) {
  static const char kNames[] =
      "NUL SOH STX ETX EOT ENQ ACK alert backspace tab newline vertical-tab form-feed "
      "carriage-return SO SI DLE DC1 DC2 DC3 DC4 NAK SYN ETB CAN EM SUB ESC IS4 IS3 IS2 IS1 "
      "space exclamation-mark quotation-mark number-sign dollar-sign percent-sign ampersand "
      "apostrophe left-parenthesis right-parenthesis asterisk plus-sign comma hyphen period "
      "slash zero one two three four five six seven eight nine colon semicolon less-than-sign "
      "equals-sign greater-than-sign question-mark commercial-at A B C D E F G H I J K L M N O "
      "P Q R S T U V W X Y Z left-square-bracket backslash right-square-bracket circumflex "
      "underscore grave-accent a b c d e f g h i j k l m n o p q r s t u v w x y z "
      "left-curly-bracket vertical-line right-curly-bracket tilde DEL";
  const std::string names = kNames;
  std::size_t start = 0;
  for (int c = 0; c < 128; ++c) {
    const std::size_t end = std::min(names.find(' ', start), names.size());
    if (names.compare(start, end - start, name) == 0) {
      *byte = static_cast<unsigned char>(c);
      return true;
    }
    start = end + 1;
  }
  return false;
}

// The bytes one character matches: with ignoreCase, those equal to it after ASCII lowering.
ByteSet CharSet(unsigned char c, bool ignoreCase) {
  if (!ignoreCase) return ByteSet().set(c);
  return SetOf([&](int b) { return AsciiLower(b) == AsciiLower(c); });
}

// Range ends compare as chars, which are signed: [\x80-\xff] is a range, [a-\xe9] is not.
int Signed(unsigned char c) { return static_cast<signed char>(c); }

// The bytes of the range first-last; with ignoreCase also those whose ASCII lower or upper
// case falls into it.
ByteSet RangeSet(unsigned char first, unsigned char last, bool ignoreCase) {
  const auto within = [&](unsigned char c) {
    return Signed(first) <= Signed(c) && Signed(c) <= Signed(last);
  };
  return SetOf([&](int b) {
    const auto c = static_cast<unsigned char>(b);
    return ignoreCase ? within(AsciiLower(c)) || within(AsciiUpper(c)) : within(c);
  });
}

// ---- RE2 text.

std::string Hex(unsigned char c) {
  static const char kDigits[] = "0123456789abcdef";
  return std::string("\\x") + kDigits[c >> 4] + kDigits[c & 15];
}

// A set of bytes as one RE2 atom: a byte or a class of byte ranges.
std::string SetText(const ByteSet& set) {
  if (set.none()) return "[^\\x00-\\xff]";
  if (set.count() == 1) {
    int c = 0;
    while (!set[c]) ++c;
    return Hex(static_cast<unsigned char>(c));
  }
  std::string text = "[";
  for (int c = 0; c < 256;) {
    if (!set[c]) {
      ++c;
      continue;
    }
    int last = c;
    while (last + 1 < 256 && set[last + 1]) ++last;
    text += Hex(static_cast<unsigned char>(c));
    if (last > c) text += "-" + Hex(static_cast<unsigned char>(last));
    c = last + 1;
  }
  return text + "]";
}

// A piece of RE2 text that a quantifier may follow as it is, and the product of the repeat
// counts nested in it (what RE2 limits to 1000).
struct Piece {
  std::string text;
  long nestedCount = 1;
};

// One open group: its finished alternatives and terms, and its last atom, which a quantifier
// may still follow.
struct Group {
  std::string alternatives;  // each followed by "|"
  std::string terms;
  Piece last;
  bool hasLast = false;
  long nestedCount = 1;
};

// What an escape stands for.
struct Escape {
  enum Kind { kByte, kSet, kWordBoundary, kNotWordBoundary } kind = kByte;
  unsigned char byte = 0;
  ByteSet set;
};

class Translator {
 public:
  Translator(const std::string& pattern, bool ignoreCase)
      : pattern_(pattern), ignoreCase_(ignoreCase) {}

  int Run(std::string* re2, PatternFault* fault) {
    groups_.emplace_back();
    bool ok = true;
    while (ok && at_ < pattern_.size()) ok = Step();
    if (ok && groups_.size() > 1) ok = Fail(std::regex_constants::error_paren, "missing )");
    if (!ok) {
      *fault = fault_;
      return -1;
    }
    Group& top = groups_.back();
    Flush(top);
    *re2 = top.alternatives + top.terms;
    return 0;
  }

 private:
  bool Fail(Code code, const std::string& why) {
    fault_.code = code;
    fault_.why = why;
    return false;
  }

  bool AtEnd() const { return at_ >= pattern_.size(); }
  unsigned char Peek() const { return static_cast<unsigned char>(pattern_[at_]); }
  unsigned char Next() { return static_cast<unsigned char>(pattern_[at_++]); }

  static void Flush(Group& group) {
    if (!group.hasLast) return;
    group.terms += group.last.text;
    group.nestedCount = std::max(group.nestedCount, group.last.nestedCount);
    group.hasLast = false;
  }

  void Atom(Piece piece) {
    Group& group = groups_.back();
    Flush(group);
    group.last = std::move(piece);
    group.hasLast = true;
  }

  void Assertion(const char* text) {
    Group& group = groups_.back();
    Flush(group);
    group.terms += text;
  }

  bool Step() {
    const unsigned char c = Next();
    switch (c) {
      case '(':
        return OpenGroup();
      case ')':
        return CloseGroup();
      case '|': {
        Group& group = groups_.back();
        Flush(group);
        group.alternatives += group.terms + "|";
        group.terms.clear();
        return true;
      }
      case '*':
      case '+':
      case '?':
      case '{':
        return Quantifier(c);
      case '^':
        Assertion("^");
        return true;
      case '$':
        Assertion("$");
        return true;
      case '.':
        Atom({SetText(SetOf([](int b) { return b != '\n' && b != '\r'; }))});
        return true;
      case '[':
        return Bracket();
      case '\\':
        return EscapeOutsideBrackets();
      default:  // "]" and "}" included: outside brackets they are characters
        Atom({SetText(CharSet(c, ignoreCase_))});
        return true;
    }
  }

  bool OpenGroup() {
    if (!AtEnd() && Peek() == '?') {
      ++at_;
      if (AtEnd()) return Fail(std::regex_constants::error_paren, "(? at the end");
      const unsigned char kind = Next();
      if (kind == '=' || kind == '!')
        return Fail(std::regex_constants::error_complexity,
                    std::string("look-ahead (?") + static_cast<char>(kind) +
                        ": look-ahead and look-behind are not supported");
      if (kind == '<')
        return Fail(std::regex_constants::error_paren,
                    "look-behind (?<: look-ahead and look-behind are not supported");
      if (kind != ':')
        return Fail(std::regex_constants::error_paren,
                    std::string("unknown group (?") + static_cast<char>(kind));
    }
    groups_.emplace_back();
    return true;
  }

  bool CloseGroup() {
    if (groups_.size() == 1) return Fail(std::regex_constants::error_paren, "unmatched )");
    Group group = std::move(groups_.back());
    groups_.pop_back();
    Flush(group);
    Atom({"(?:" + group.alternatives + group.terms + ")", group.nestedCount});
    return true;
  }

  // ---- Quantifiers: "*", "+", "?", "{n}", "{n,}", "{n,m}", each perhaps followed by the "?"
  // that makes it lazy (which changes which match is found, not whether there is one). A
  // quantifier may follow another: "a**" repeats "a*".

  bool Quantifier(unsigned char c) {
    Group& group = groups_.back();
    if (!group.hasLast)
      return Fail(std::regex_constants::error_badrepeat,
                  std::string("nothing to repeat before ") + static_cast<char>(c));
    long min = 0;
    long max = -1;  // no bound
    if (c == '+') min = 1;
    if (c == '?') max = 1;
    if (c == '{' && !Counts(&min, &max)) return false;
    if (!AtEnd() && Peek() == '?') ++at_;
    return Repeat(min, max, &group.last);
  }

  // "{n}", "{n,}" or "{n,m}" after the "{".
  bool Counts(long* min, long* max) {
    const std::size_t start = at_ - 1;
    if (!Count(min)) return false;
    *max = *min;
    if (!AtEnd() && Peek() == ',') {
      ++at_;
      *max = -1;
      if (!AtEnd() && IsDigit(Peek()) && !Count(max)) return false;
    }
    if (AtEnd()) return Fail(std::regex_constants::error_brace, "missing } of a repeat count");
    if (Next() != '}')
      return Fail(std::regex_constants::error_badbrace,
                  "bad repeat count " + pattern_.substr(start, at_ - start));
    const std::string counts = pattern_.substr(start, at_ - start);
    if (*max >= 0 && *max < *min)
      return Fail(std::regex_constants::error_badbrace, "repeat count " + counts + " out of order");
    if (*min > kMaxRepeatCount || *max > kMaxRepeatCount)
      return Fail(std::regex_constants::error_space,
                  "repeat count " + counts + " above " + std::to_string(kMaxRepeatCount));
    return true;
  }

  bool Count(long* value) {
    if (AtEnd()) return Fail(std::regex_constants::error_brace, "missing } of a repeat count");
    if (!IsDigit(Peek()))
      return Fail(std::regex_constants::error_badbrace,
                  std::string("bad repeat count at ") + static_cast<char>(Peek()));
    const std::size_t start = at_;
    while (!AtEnd() && IsDigit(Peek())) ++at_;
    if (at_ - start > kMaxCountDigits)
      return Fail(std::regex_constants::error_badbrace,
                  "repeat count " + pattern_.substr(start, at_ - start) + " too large");
    *value = std::stol(pattern_.substr(start, at_ - start));
    return true;
  }

  // Replaces *piece by itself repeated min to max times (max -1: no bound).
  bool Repeat(long min, long max, Piece* piece) {
    const std::string& x = piece->text;
    if (min == 0 && max == -1) return Wrap(x + "*", piece->nestedCount, piece);
    if (min == 1 && max == -1) return Wrap(x + "+", piece->nestedCount, piece);
    if (min == 0 && max == 1) return Wrap(x + "?", piece->nestedCount, piece);
    const long count = max == -1 ? min : max;
    if (count == 0) return Wrap("", 1, piece);
    if (count * piece->nestedCount <= kRe2MaxRepeat)
      return Wrap(x + Braces(min, max), count * piece->nestedCount, piece);
    return RepeatInChunks(min, max, piece);
  }

  static std::string Braces(long min, long max) {
    if (max == min) return "{" + std::to_string(min) + "}";
    return "{" + std::to_string(min) + "," + (max == -1 ? "" : std::to_string(max)) + "}";
  }

  // x{n,m} as x{k}x{k}...x{r} for the n required, then x{0,k}x{0,k}... for the m - n optional
  // (or x* without bound), with k as large as RE2's limit on nested counts allows.
  bool RepeatInChunks(long min, long max, Piece* piece) {
    const long chunk = std::max(1L, kRe2MaxRepeat / piece->nestedCount);
    const long optional = max == -1 ? 0 : max - min;
    const std::size_t chunks = static_cast<std::size_t>(min / chunk + optional / chunk + 3);
    if (chunks * (piece->text.size() + 12) > kMaxTranslatedLength)
      return Fail(std::regex_constants::error_space,
                  "repeat counts make the pattern too large to match");
    std::string text;
    const auto add = [&](long lower, long upper, long times) {
      for (long i = 0; i < times; ++i) {
        text += piece->text;
        if (!(lower == 1 && upper == 1)) text += Braces(lower, upper);
      }
    };
    add(chunk, chunk, min / chunk);
    if (min % chunk) add(min % chunk, min % chunk, 1);
    if (max == -1) text += piece->text + "*";
    add(0, chunk, optional / chunk);
    if (optional % chunk) add(0, optional % chunk, 1);
    return Wrap(text, chunk * piece->nestedCount, piece);
  }

  bool Wrap(const std::string& text, long nestedCount, Piece* piece) {
    if (text.size() > kMaxTranslatedLength)
      return Fail(std::regex_constants::error_space,
                  "repeat counts make the pattern too large to match");
    piece->text = "(?:" + text + ")";
    piece->nestedCount = nestedCount;
    return true;
  }

  // ---- Escapes.

  bool EscapeOutsideBrackets() {
    Escape escape;
    if (!ReadEscape(false, &escape)) return false;
    switch (escape.kind) {
      case Escape::kWordBoundary:
        Assertion("\\b");
        return true;
      case Escape::kNotWordBoundary:
        Assertion("\\B");
        return true;
      case Escape::kSet:
        Atom({SetText(escape.set)});
        return true;
      case Escape::kByte:
        Atom({SetText(CharSet(escape.byte, ignoreCase_))});
        return true;
    }
    return true;
  }

  // The escape after a backslash. Every letter without a meaning of its own stands for itself.
  bool ReadEscape(bool inBrackets, Escape* escape) {
    if (AtEnd()) return Fail(std::regex_constants::error_escape, "\\ at the end");
    const std::size_t start = at_ - 1;
    const unsigned char c = Next();
    escape->kind = Escape::kByte;
    switch (c) {
      case '0':
        escape->byte = '\0';
        return true;
      case 'f':
        escape->byte = '\f';
        return true;
      case 'n':
        escape->byte = '\n';
        return true;
      case 'r':
        escape->byte = '\r';
        return true;
      case 't':
        escape->byte = '\t';
        return true;
      case 'v':
        escape->byte = '\v';
        return true;
      case 'b':
        if (inBrackets) {
          escape->byte = '\b';
        } else {
          escape->kind = Escape::kWordBoundary;
        }
        return true;
      case 'B':
        if (inBrackets) return Fail(std::regex_constants::error_brack, "\\B inside [...]");
        escape->kind = Escape::kNotWordBoundary;
        return true;
      case 'd':
      case 'D':
      case 's':
      case 'S':
      case 'w':
      case 'W':
        escape->kind = Escape::kSet;
        NamedClass(std::string(1, static_cast<char>(c)), ignoreCase_, &escape->set);
        if (IsUpper(c)) escape->set.flip();
        return true;
      case 'c':  // the character after it, as it is
        if (AtEnd()) return Fail(std::regex_constants::error_escape, "\\c at the end");
        escape->byte = Next();
        return true;
      case 'x':
      case 'u':
        return HexEscape(c == 'x' ? 2 : 4, start, escape);
      default:
        break;
    }
    if (IsDigit(c)) {
      while (!AtEnd() && IsDigit(Peek())) ++at_;
      const std::string reference = pattern_.substr(start, at_ - start);
      if (inBrackets) return Fail(std::regex_constants::error_brack, reference + " inside [...]");
      return Fail(std::regex_constants::error_backref,
                  "back-reference " + reference + ": back-references are not supported");
    }
    escape->byte = c;
    return true;
  }

  // \xNN or \uNNNN: the low byte of the value, as the matcher's 8-bit characters held it.
  bool HexEscape(int digits, std::size_t start, Escape* escape) {
    unsigned value = 0;
    for (int i = 0; i < digits; ++i) {
      if (AtEnd() || !IsXdigit(Peek()))
        return Fail(
            std::regex_constants::error_escape,
            pattern_.substr(start, 2) + " needs " + std::to_string(digits) + " hexadecimal digits");
      const unsigned char d = AsciiLower(Next());
      value = value * 16 + (IsDigit(d) ? d - '0' : d - 'a' + 10);
    }
    escape->byte = static_cast<unsigned char>(value & 0xFF);
    return true;
  }

  // ---- Bracket expressions, after the "[". ECMAScript's "]" closes even at the start, so "[]"
  // matches nothing and "[^]" anything. A range's ends are single characters; a "-" where no
  // range can start or end is a character.

  enum class Last { kNothing, kByte, kClass };

  struct BracketState {
    ByteSet members;
    Last last = Last::kNothing;
    unsigned char lastByte = 0;
  };

  // One element of a bracket expression as the scanner sees it.
  struct Element {
    enum Kind { kEnd, kDash, kByte, kSet, kCollating } kind = kByte;
    unsigned char byte = 0;
    ByteSet set;
  };

  bool Bracket() {
    bool negated = false;
    if (!AtEnd() && Peek() == '^') {
      negated = true;
      ++at_;
    }
    BracketState state;
    Element element;
    if (!ReadElement(&element)) return false;
    if (element.kind == Element::kByte || element.kind == Element::kDash) {
      Remember(&state, element.kind == Element::kDash ? '-' : element.byte);
      if (!ReadElement(&element)) return false;
    }
    while (element.kind != Element::kEnd) {
      bool ended = false;
      if (!Term(element, &state, &ended)) return false;
      if (ended) break;
      if (!ReadElement(&element)) return false;
    }
    if (state.last == Last::kByte) state.members |= CharSet(state.lastByte, ignoreCase_);
    Atom({SetText(negated ? ~state.members : state.members)});
    return true;
  }

  // A single character is held back, as it may start a range.
  void Remember(BracketState* state, unsigned char byte) {
    if (state->last == Last::kByte) state->members |= CharSet(state->lastByte, ignoreCase_);
    state->last = Last::kByte;
    state->lastByte = byte;
  }

  void AddClass(BracketState* state, const ByteSet& set) {
    if (state->last == Last::kByte) state->members |= CharSet(state->lastByte, ignoreCase_);
    state->last = Last::kClass;
    state->members |= set;
  }

  bool Term(const Element& element, BracketState* state, bool* ended) {
    switch (element.kind) {
      case Element::kByte:
        Remember(state, element.byte);
        return true;
      case Element::kCollating:
        state->members |= CharSet(element.byte, ignoreCase_);
        Remember(state, element.byte);
        return true;
      case Element::kSet:
        AddClass(state, element.set);
        return true;
      case Element::kDash:
        return Dash(state, ended);
      case Element::kEnd:
        return true;
    }
    return true;
  }

  bool Dash(BracketState* state, bool* ended) {
    Element next;
    if (!ReadElement(&next)) return false;
    if (next.kind == Element::kEnd) {  // "-]": the dash is a character
      Remember(state, '-');
      *ended = true;
      return true;
    }
    if (state->last == Last::kClass)
      return Fail(std::regex_constants::error_range, "a range that starts with a class");
    if (state->last == Last::kNothing) {  // after a range: a character, perhaps a range's start
      Remember(state, '-');
      return Term(next, state, ended);
    }
    if (next.kind != Element::kByte && next.kind != Element::kDash)
      return Fail(std::regex_constants::error_range, "a range that ends with no character");
    const unsigned char first = state->lastByte;
    const unsigned char last = next.kind == Element::kDash ? '-' : next.byte;
    if (Signed(first) > Signed(last))
      return Fail(std::regex_constants::error_range,
                  "range " + Printable(first) + "-" + Printable(last) + " out of order");
    state->members |= RangeSet(first, last, ignoreCase_);
    state->last = Last::kNothing;
    return true;
  }

  static std::string Printable(unsigned char c) {
    if (c >= ' ' && c < 127) return std::string(1, static_cast<char>(c));
    return Hex(c);
  }

  bool ReadElement(Element* element) {
    if (AtEnd()) return Fail(std::regex_constants::error_brack, "missing ]");
    const unsigned char c = Next();
    element->kind = Element::kByte;
    element->byte = c;
    if (c == ']') {
      element->kind = Element::kEnd;
    } else if (c == '-') {
      element->kind = Element::kDash;
    } else if (c == '[') {
      if (AtEnd()) return Fail(std::regex_constants::error_brack, "missing ]");
      const unsigned char kind = Peek();
      if (kind == ':' || kind == '.' || kind == '=') {
        ++at_;
        return NamedElement(kind, element);
      }
    } else if (c == '\\') {
      Escape escape;
      if (!ReadEscape(true, &escape)) return false;
      if (escape.kind == Escape::kSet) {
        element->kind = Element::kSet;
        element->set = escape.set;
      } else {
        element->byte = escape.byte;
      }
    }
    return true;
  }

  // [:name:], [.name.] or [=name=], after its first two characters.
  bool NamedElement(unsigned char kind, Element* element) {
    const std::size_t start = at_ - 2;
    const std::size_t close = pattern_.find(static_cast<char>(kind), at_);
    if (close == std::string::npos || close + 1 >= pattern_.size() || pattern_[close + 1] != ']')
      return Fail(
          kind == ':' ? std::regex_constants::error_ctype : std::regex_constants::error_collate,
          "unterminated " + pattern_.substr(start, 2) + " in [...]");
    const std::string name = pattern_.substr(at_, close - at_);
    const std::string shown = pattern_.substr(start, close + 2 - start);
    at_ = close + 2;
    if (kind == ':') {
      element->kind = Element::kSet;
      if (!NamedClass(name, ignoreCase_, &element->set))
        return Fail(std::regex_constants::error_ctype, "unknown character class " + shown);
      return true;
    }
    unsigned char byte = 0;
    if (!CollatingElement(name, &byte))
      return Fail(std::regex_constants::error_collate, "unknown collating element " + shown);
    if (kind == '.') {
      element->kind = Element::kCollating;
      element->byte = byte;
      return true;
    }
    // An equivalence class: the bytes equal to it once both are lowered.
    element->kind = Element::kSet;
    element->set = CharSet(byte, true);
    return true;
  }

  const std::string& pattern_;
  const bool ignoreCase_;
  std::size_t at_ = 0;
  std::vector<Group> groups_;
  PatternFault fault_;
};

}  // namespace

int TranslateToRe2(const std::string& pattern, bool ignoreCase, std::string* re2,
                   PatternFault* fault) {
  return Translator(pattern, ignoreCase).Run(re2, fault);
}

}  // namespace orvex
