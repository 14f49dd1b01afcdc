#pragma once
// The part of WQL the installer sends, over rows that are JSON objects of a machine profile:
//   SELECT * FROM Class [WHERE condition]
//     condition: Prop = literal and Prop LIKE pattern joined by AND and OR (AND binds
//                closer); literals 'text' or "text" with backslash escapes, numbers, TRUE,
//                FALSE
//   ASSOCIATORS OF {object path} WHERE AssocClass = X [ResultClass = Y]
// Keywords, class and property names and string comparisons ignore case, as WMI does.

#include <json/value.h>

#include <memory>
#include <string>
#include <vector>

namespace orvex {
namespace sim {

struct WqlCondition;

struct WqlQuery {
  enum Kind { kSelect, kAssociators } kind = kSelect;
  std::wstring className;                // kSelect
  std::vector<std::wstring> properties;  // kSelect: empty for "*"
  std::shared_ptr<WqlCondition> where;   // kSelect: null without WHERE
  std::wstring objectPath;               // kAssociators
  std::wstring assocClass;               // kAssociators, "" when not given
  std::wstring resultClass;              // kAssociators, "" when not given
};

// Parses a query; false when the text is not in the subset (WBEM_E_INVALID_QUERY).
bool ParseWql(const std::wstring& text, WqlQuery* query);

// Whether a row (a JSON object of properties) meets the query's WHERE condition.
bool RowMatches(const WqlQuery& query, const Json::Value& row);

// WQL LIKE: % any run, _ one character, [abc] [a-z] [^a] sets; case-insensitive.
bool LikeMatches(const std::wstring& text, const std::wstring& pattern);

// Object paths compare without regard to case, blanks around '.' and '=' or the kind of quote.
bool SameObjectPath(const std::wstring& a, const std::wstring& b);

}  // namespace sim
}  // namespace orvex
