#pragma once
// Text rules of the simulated machine: Windows compares names of registry keys, WMI classes
// and properties, environment variables and files without regard to case.

#include <json/value.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/profile_notation.h"

namespace orvex {
namespace sim {

// Upper case as Windows folds names (ASCII, Latin-1, Greek and Cyrillic letters; a user
// folder "Анна" is the folder "АННА").
wchar_t FoldCase(wchar_t c);
std::wstring FoldCase(const std::wstring& text);

bool EqualsNoCase(const std::wstring& a, const std::wstring& b);
bool EqualsNoCase(const std::string& a, const std::string& b);  // UTF-8 texts

struct NoCaseLess {
  bool operator()(const std::wstring& a, const std::wstring& b) const;
};

// Splits at every separator; empty pieces are dropped when skipEmpty is set.
std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator, bool skipEmpty);

// The member of a JSON object whose name equals key without regard to case; null when none.
const Json::Value& MemberNoCase(const Json::Value& object, const std::string& key);

using platform::ProfileNumber;

}  // namespace sim
}  // namespace orvex
