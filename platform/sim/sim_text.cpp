#include "platform/sim/sim_text.h"

#include <cerrno>
#include <cstdlib>

#include "base/text.h"

namespace orvex {
namespace sim {

wchar_t FoldCase(wchar_t c) {
  if (c >= L'a' && c <= L'z') return static_cast<wchar_t>(c - 32);
  // Latin-1 lower-case letters, except the division sign and y with diaeresis.
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<wchar_t>(c - 32);
  // Greek small letters (final sigma folds as sigma), Cyrillic а..я and ѐ..џ.
  if (c == 0x3C2) return 0x3A3;
  if (c >= 0x3B1 && c <= 0x3CB) return static_cast<wchar_t>(c - 32);
  if (c >= 0x430 && c <= 0x44F) return static_cast<wchar_t>(c - 32);
  if (c >= 0x450 && c <= 0x45F) return static_cast<wchar_t>(c - 80);
  return c;
}

std::wstring FoldCase(const std::wstring& text) {
  std::wstring folded(text);
  for (wchar_t& c : folded) c = FoldCase(c);
  return folded;
}

bool EqualsNoCase(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  return true;
}

bool EqualsNoCase(const std::string& a, const std::string& b) {
  return EqualsNoCase(Utf8ToWide(a), Utf8ToWide(b));
}

bool NoCaseLess::operator()(const std::wstring& a, const std::wstring& b) const {
  const std::size_t common = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < common; ++i) {
    const wchar_t x = FoldCase(a[i]);
    const wchar_t y = FoldCase(b[i]);
    if (x != y) return x < y;
  }
  return a.size() < b.size();
}

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator, bool skipEmpty) {
  std::vector<std::wstring> pieces;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(separator, start);
    std::wstring piece = text.substr(start, end == std::wstring::npos ? end : end - start);
    if (!piece.empty() || !skipEmpty) pieces.push_back(piece);
    if (end == std::wstring::npos) break;
    start = end + 1;
  }
  return pieces;
}

const Json::Value& MemberNoCase(const Json::Value& object, const std::string& key) {
  static const Json::Value none;
  if (!object.isObject()) return none;
  if (object.isMember(key)) return object[key];
  for (const std::string& name : object.getMemberNames())
    if (EqualsNoCase(name, key)) return object[name];
  return none;
}

}  // namespace sim
}  // namespace orvex
