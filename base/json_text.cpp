#include "base/json_text.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

// Json::Reader and Json::StyledWriter are the reader and writer whose behaviour the
// configuration format and the state dump are defined by; newer builders differ in details.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace orvex {

std::string JsonText(const Json::Value& value) {
  switch (value.type()) {
    case Json::nullValue:
      return std::string();
    case Json::stringValue:
      return value.asString();
    case Json::booleanValue:
      return value.asBool() ? "true" : "false";
    default:
      throw Json::LogicError("Type is not convertible to string");
  }
}

int JsonToInt32(const Json::Value& value) {
  switch (value.type()) {
    case Json::nullValue:
      return 0;
    case Json::booleanValue:
      return value.asBool() ? 1 : 0;
    case Json::intValue: {
      Json::Int64 v = value.asInt64();
      if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
        throw Json::LogicError("integer out of signed integer range");
      return static_cast<int>(v);
    }
    case Json::uintValue: {
      Json::UInt64 v = value.asUInt64();
      if (v > static_cast<Json::UInt64>(std::numeric_limits<int>::max()))
        throw Json::LogicError("integer out of signed integer range");
      return static_cast<int>(v);
    }
    case Json::realValue: {
      double v = value.asDouble();
      // NaN fails both comparisons and is refused as well.
      if (!(v > -2147483649.0 && v < 2147483648.0))
        throw Json::LogicError("Real out of signed integer range");
      return static_cast<int>(std::trunc(v));
    }
    default:
      throw Json::LogicError("Type is not convertible to int");
  }
}

std::string TolerantText(const Json::Value& value) {
  switch (value.type()) {
    case Json::stringValue:
    case Json::intValue:
    case Json::uintValue:
    case Json::realValue:
    case Json::booleanValue:
      return value.asString();
    default:
      return std::string();
  }
}

bool JsonTruth(const Json::Value& value) {
  switch (value.type()) {
    case Json::booleanValue:
      return value.asBool();
    case Json::intValue:
      return value.asLargestInt() != 0;
    case Json::uintValue:
      return value.asLargestUInt() != 0;
    case Json::realValue:
      return value.asDouble() != 0.0;
    case Json::stringValue:
      return !value.asString().empty();
    case Json::arrayValue:
    case Json::objectValue:
      return !value.empty();
    default:
      return false;
  }
}

const Json::Value& Member(const Json::Value& object, const char* key) {
  if (!object.isObject()) return Json::Value::nullSingleton();
  const Json::Value* found = object.find(key, key + std::char_traits<char>::length(key));
  return found ? *found : Json::Value::nullSingleton();
}

namespace {

// The reader's first error on one line: "line L, column C: message".
std::string FirstParseError(const std::string& text, const Json::Reader& reader) {
  std::vector<Json::Reader::StructuredError> errors = reader.getStructuredErrors();
  if (errors.empty()) return "syntax error";
  std::size_t offset =
      static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, errors[0].offset_start));
  offset = std::min(offset, text.size());
  std::size_t line = 1, column = 1;
  for (std::size_t i = 0; i < offset; ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return "line " + std::to_string(line) + ", column " + std::to_string(column) + ": " +
         errors[0].message;
}

}  // namespace

bool ParseJson(const std::string& text, Json::Value& out, std::string* errorText) {
  Json::Reader reader;  // default features: comments allowed, any root value
  bool ok = false;
  try {
    ok = reader.parse(text, out, false);
  } catch (const Json::Exception& e) {
    // The reader refuses nesting deeper than its stack limit by throwing.
    if (errorText) *errorText = e.what();
    out = Json::Value();
    return false;
  }
  if (!ok) {
    if (errorText) *errorText = FirstParseError(text, reader);
    out = Json::Value();
  }
  return ok;
}

std::string StyledJson(const Json::Value& value) {
  Json::StyledWriter writer;
  return writer.write(value);
}

}  // namespace orvex
