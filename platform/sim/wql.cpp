#include "platform/sim/wql.h"

#include <cstdlib>
#include <cwctype>

#include "base/text.h"
#include "platform/sim/sim_text.h"

namespace orvex {
namespace sim {

struct WqlLiteral {
  enum Kind { kText, kNumber, kBool } kind = kText;
  std::wstring text;  // kText; the source text of a kNumber
  double number = 0;
  bool flag = false;
};

struct WqlCondition {
  enum Op { kAnd, kOr, kEquals, kLike } op = kEquals;
  std::shared_ptr<WqlCondition> left, right;  // kAnd, kOr
  std::wstring property;                      // kEquals, kLike
  WqlLiteral literal;
};

namespace {

struct Token {
  enum Kind { kWord, kText, kNumber, kSymbol, kEnd } kind = kEnd;
  std::wstring text;
};

class Tokenizer {
 public:
  explicit Tokenizer(const std::wstring& text) : text_(text) {}

  // False on an unterminated string.
  bool Run(std::vector<Token>* tokens) {
    for (;;) {
      while (at_ < text_.size() && std::iswspace(text_[at_])) ++at_;
      Token token;
      if (at_ >= text_.size()) {
        tokens->push_back(token);
        return true;
      }
      const wchar_t c = text_[at_];
      if (c == L'\'' || c == L'"') {
        if (!QuotedText(c, &token.text)) return false;
        token.kind = Token::kText;
      } else if (std::iswdigit(c) ||
                 (c == L'-' && at_ + 1 < text_.size() && std::iswdigit(text_[at_ + 1]))) {
        token.kind = Token::kNumber;
        do token.text.push_back(text_[at_++]);
        while (at_ < text_.size() && (std::iswalnum(text_[at_]) || text_[at_] == L'.'));
      } else if (std::iswalpha(c) || c == L'_') {
        token.kind = Token::kWord;
        while (at_ < text_.size() && (std::iswalnum(text_[at_]) || text_[at_] == L'_'))
          token.text.push_back(text_[at_++]);
      } else {
        token.kind = Token::kSymbol;
        token.text.push_back(text_[at_++]);
      }
      tokens->push_back(token);
    }
  }

 private:
  // A string literal; a backslash takes the next character as it is ("\\\\" is one
  // backslash), which is why the installer doubles the backslashes of a drive's DeviceID.
  bool QuotedText(wchar_t quote, std::wstring* text) {
    ++at_;
    while (at_ < text_.size()) {
      wchar_t c = text_[at_++];
      if (c == quote) return true;
      if (c == L'\\') {
        if (at_ >= text_.size()) return false;
        c = text_[at_++];
      }
      text->push_back(c);
    }
    return false;
  }

  const std::wstring& text_;
  std::size_t at_ = 0;
};

class Parser {
 public:
  explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

  bool Select(WqlQuery* query) {
    if (!Word(L"SELECT")) return false;
    if (Symbol(L"*")) {
      query->properties.clear();
    } else {
      do {
        if (Peek().kind != Token::kWord) return false;
        query->properties.push_back(Next().text);
      } while (Symbol(L","));
    }
    if (!Word(L"FROM") || Peek().kind != Token::kWord) return false;
    query->className = Next().text;
    if (Word(L"WHERE")) {
      query->where = Or();
      if (!query->where) return false;
    }
    return Peek().kind == Token::kEnd;
  }

  // The clauses after ASSOCIATORS OF {...}: WHERE Name = Value ...
  bool AssociatorClauses(WqlQuery* query) {
    if (Peek().kind == Token::kEnd) return true;
    if (!Word(L"WHERE")) return false;
    while (Peek().kind != Token::kEnd) {
      if (Peek().kind != Token::kWord) return false;
      const std::wstring name = Next().text;
      if (!Symbol(L"=")) return false;
      if (Peek().kind != Token::kWord && Peek().kind != Token::kText) return false;
      const std::wstring value = Next().text;
      if (EqualsNoCase(name, L"AssocClass")) {
        query->assocClass = value;
      } else if (EqualsNoCase(name, L"ResultClass")) {
        query->resultClass = value;
      } else {
        return false;
      }
    }
    return true;
  }

 private:
  const Token& Peek() const { return tokens_[at_]; }
  const Token& Next() { return tokens_[at_ < tokens_.size() - 1 ? at_++ : at_]; }

  bool Word(const wchar_t* word) {
    if (Peek().kind != Token::kWord || !EqualsNoCase(Peek().text, word)) return false;
    ++at_;
    return true;
  }

  bool Symbol(const wchar_t* symbol) {
    if (Peek().kind != Token::kSymbol || Peek().text != symbol) return false;
    ++at_;
    return true;
  }

  static std::shared_ptr<WqlCondition> Join(WqlCondition::Op op, std::shared_ptr<WqlCondition> left,
                                            std::shared_ptr<WqlCondition> right) {
    auto joined = std::make_shared<WqlCondition>();
    joined->op = op;
    joined->left = std::move(left);
    joined->right = std::move(right);
    return joined;
  }

  std::shared_ptr<WqlCondition> Or() {
    std::shared_ptr<WqlCondition> left = And();
    while (left && Word(L"OR")) {
      std::shared_ptr<WqlCondition> right = And();
      if (!right) return nullptr;
      left = Join(WqlCondition::kOr, left, right);
    }
    return left;
  }

  std::shared_ptr<WqlCondition> And() {
    std::shared_ptr<WqlCondition> left = Comparison();
    while (left && Word(L"AND")) {
      std::shared_ptr<WqlCondition> right = Comparison();
      if (!right) return nullptr;
      left = Join(WqlCondition::kAnd, left, right);
    }
    return left;
  }

  std::shared_ptr<WqlCondition> Comparison() {
    if (Peek().kind != Token::kWord) return nullptr;
    auto condition = std::make_shared<WqlCondition>();
    condition->property = Next().text;
    if (Word(L"LIKE")) {
      condition->op = WqlCondition::kLike;
      if (Peek().kind != Token::kText) return nullptr;
      condition->literal.kind = WqlLiteral::kText;
      condition->literal.text = Next().text;
      return condition;
    }
    if (!Symbol(L"=")) return nullptr;
    condition->op = WqlCondition::kEquals;
    return Literal(&condition->literal) ? condition : nullptr;
  }

  bool Literal(WqlLiteral* literal) {
    const Token token = Next();
    switch (token.kind) {
      case Token::kText:
        literal->kind = WqlLiteral::kText;
        literal->text = token.text;
        return true;
      case Token::kNumber: {
        const std::string digits = WideToUtf8(token.text);
        char* end = nullptr;
        literal->number = std::strtod(digits.c_str(), &end);
        literal->kind = WqlLiteral::kNumber;
        literal->text = token.text;
        return end && *end == '\0';
      }
      case Token::kWord:
        if (EqualsNoCase(token.text, L"TRUE") || EqualsNoCase(token.text, L"FALSE")) {
          literal->kind = WqlLiteral::kBool;
          literal->flag = EqualsNoCase(token.text, L"TRUE");
          return true;
        }
        return false;
      default:
        return false;
    }
  }

  std::vector<Token> tokens_;
  std::size_t at_ = 0;
};

// A property's value in a profile row: {"type": N, "value": V} compares as V.
const Json::Value& PlainValue(const Json::Value& value) {
  if (value.isObject() && value.isMember("type")) return value["value"];
  return value;
}

// Prop = literal. A property without a value equals nothing.
bool EqualsValue(const Json::Value& value, const WqlLiteral& literal) {
  if (value.isNull()) return false;
  if (value.isString()) return FoldCase(Utf8ToWide(value.asString())) == FoldCase(literal.text);
  if (value.isBool()) {
    bool other = false;
    if (literal.kind == WqlLiteral::kBool)
      other = literal.flag;
    else if (literal.kind == WqlLiteral::kNumber)
      other = literal.number != 0;
    else if (EqualsNoCase(literal.text, L"TRUE"))
      other = true;
    else if (!EqualsNoCase(literal.text, L"FALSE"))
      return false;
    return value.asBool() == other;
  }
  if (value.isNumeric()) {
    double other = literal.number;
    if (literal.kind == WqlLiteral::kText) {
      const std::string digits = WideToUtf8(literal.text);
      char* end = nullptr;
      other = std::strtod(digits.c_str(), &end);
      if (digits.empty() || *end != '\0') return false;
    } else if (literal.kind == WqlLiteral::kBool) {
      other = literal.flag ? 1 : 0;
    }
    return value.asDouble() == other;
  }
  return false;
}

bool Evaluate(const WqlCondition& condition, const Json::Value& row) {
  switch (condition.op) {
    case WqlCondition::kAnd:
      return Evaluate(*condition.left, row) && Evaluate(*condition.right, row);
    case WqlCondition::kOr:
      return Evaluate(*condition.left, row) || Evaluate(*condition.right, row);
    case WqlCondition::kLike:
    case WqlCondition::kEquals:
      break;
  }
  const Json::Value& value = PlainValue(MemberNoCase(row, WideToUtf8(condition.property)));
  if (condition.op == WqlCondition::kLike)
    return value.isString() && LikeMatches(Utf8ToWide(value.asString()), condition.literal.text);
  return EqualsValue(value, condition.literal);
}

bool LikeFrom(const std::wstring& text, std::size_t t, const std::wstring& pattern, std::size_t p) {
  while (p < pattern.size()) {
    const wchar_t c = pattern[p];
    if (c == L'%') {
      while (p < pattern.size() && pattern[p] == L'%') ++p;
      if (p == pattern.size()) return true;
      for (std::size_t from = t; from <= text.size(); ++from)
        if (LikeFrom(text, from, pattern, p)) return true;
      return false;
    }
    if (t >= text.size()) return false;
    if (c == L'[') {
      const std::size_t close = pattern.find(L']', p + 1);
      if (close == std::wstring::npos) return false;
      std::wstring set = pattern.substr(p + 1, close - p - 1);
      const bool negated = !set.empty() && set[0] == L'^';
      if (negated) set.erase(0, 1);
      const wchar_t x = FoldCase(text[t]);
      bool inSet = false;
      for (std::size_t i = 0; i < set.size(); ++i) {
        if (i + 2 < set.size() && set[i + 1] == L'-') {
          if (x >= FoldCase(set[i]) && x <= FoldCase(set[i + 2])) inSet = true;
          i += 2;
        } else if (x == FoldCase(set[i])) {
          inSet = true;
        }
      }
      if (inSet == negated) return false;
      p = close + 1;
      ++t;
      continue;
    }
    if (c != L'_' && FoldCase(c) != FoldCase(text[t])) return false;
    ++p;
    ++t;
  }
  return t == text.size();
}

std::wstring NormalizedObjectPath(const std::wstring& path) {
  std::wstring normalized;
  for (std::size_t i = 0; i < path.size(); ++i) {
    wchar_t c = path[i];
    if (c == L'"') c = L'\'';
    if (std::iswspace(c)) {
      // Blanks next to the separators of the path do not count; those inside a key do.
      const wchar_t before = normalized.empty() ? L'.' : normalized.back();
      std::size_t next = i;
      while (next < path.size() && std::iswspace(path[next])) ++next;
      const wchar_t after = next < path.size() ? path[next] : L'.';
      if (before == L'.' || before == L'=' || after == L'.' || after == L'=') continue;
    }
    normalized.push_back(FoldCase(c));
  }
  return normalized;
}

}  // namespace

bool ParseWql(const std::wstring& text, WqlQuery* query) {
  *query = WqlQuery();
  std::size_t start = 0;
  while (start < text.size() && std::iswspace(text[start])) ++start;
  // ASSOCIATORS OF {path}: the path is taken as it is, braces excluded.
  const std::wstring head = FoldCase(text.substr(start, 11));
  if (head == L"ASSOCIATORS") {
    std::size_t at = start + 11;
    while (at < text.size() && std::iswspace(text[at])) ++at;
    if (!EqualsNoCase(text.substr(at, 2), L"OF")) return false;
    at += 2;
    while (at < text.size() && std::iswspace(text[at])) ++at;
    if (at >= text.size() || text[at] != L'{') return false;
    const std::size_t close = text.find(L'}', at);
    if (close == std::wstring::npos) return false;
    query->kind = WqlQuery::kAssociators;
    query->objectPath = text.substr(at + 1, close - at - 1);
    std::vector<Token> tokens;
    if (!Tokenizer(text.substr(close + 1)).Run(&tokens)) return false;
    return Parser(tokens).AssociatorClauses(query);
  }
  std::vector<Token> tokens;
  if (!Tokenizer(text).Run(&tokens)) return false;
  return Parser(tokens).Select(query);
}

bool RowMatches(const WqlQuery& query, const Json::Value& row) {
  return !query.where || Evaluate(*query.where, row);
}

bool LikeMatches(const std::wstring& text, const std::wstring& pattern) {
  return LikeFrom(text, 0, pattern, 0);
}

bool SameObjectPath(const std::wstring& a, const std::wstring& b) {
  return NormalizedObjectPath(a) == NormalizedObjectPath(b);
}

}  // namespace sim
}  // namespace orvex
