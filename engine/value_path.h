#pragma once
// Value paths: strings such as ".InstallConfig.installer.url" or ".a.list[2].b" that name a
// node of the session document, and the argument helpers modules read their arguments with.

#include <json/json.h>

#include <string>
#include <vector>

namespace orvex {

struct PathStep {
  bool isIndex = false;
  std::string member;          // member name, for member steps
  Json::ArrayIndex index = 0;  // element index, for index steps
};

// Splits a value path into steps. "." separates steps (runs of dots act as one); "[" starts an
// index whose decimal digits end at the first non-digit, and the character after the digits
// (normally "]") is skipped unchecked; anything else up to the next "." or "[" is a member name.
std::vector<PathStep> ParsePath(const std::string& path);

// Index steps above this are treated as missing: a path such as ".a[4000000000]" would
// otherwise create an array whose dump prints four billion nulls.
constexpr Json::ArrayIndex kMaxPathIndex = 100000;

// Read-only lookup: the node at path, or a null value when any step is missing. A step into a
// node of the wrong kind (a member of a string, an element of an object) counts as missing.
// Never changes root.
const Json::Value& FindPath(const Json::Value& root, const std::string& path);

// Lookup with creation: null nodes on the way become objects or arrays and missing members
// and elements are added as null. Returns the node, or nullptr when a step meets a node of
// the wrong kind (nothing is created past that point) or an index is above kMaxPathIndex
// (nothing is created at all).
Json::Value* MakePath(Json::Value& root, const std::string& path);

// True when v is a non-empty string whose first character is ".".
bool IsValuePath(const Json::Value& v);

// A string argument that is either literal or a value path into doc. A value path is looked
// up with creation (a missing path is left in doc as null) and yields the string found there,
// or "" for any other node. Non-string arguments yield "".
std::string ResolveStringArg(const Json::Value& arg, Json::Value& doc);

// A directory or file path argument, resolved as ResolveStringArg does; "" when the argument
// is absent, is not a string, names no string or holds nothing but blanks. Callers treat ""
// as the absent argument: an empty directory with \* or \name appended would name the
// root of the current drive, and a blank one the current directory.
std::string ResolvePathArg(const Json::Value& arg, Json::Value& doc);

// The string at path, "" when missing or not a string. Read-only.
std::string GetStringByPath(const Json::Value& doc, const std::string& path);

// The integer at path (signed or unsigned integer node), 0 for anything else. Read-only.
Json::Int64 GetIntByPath(const Json::Value& doc, const std::string& path);

}  // namespace orvex
