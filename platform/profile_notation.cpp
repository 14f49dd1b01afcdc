// The machine-profile notation of numbers and registry values, shared by the simulated machine
// (which reads profiles and writes its state in it) and the profile recorder (which writes it).
#include "platform/profile_notation.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "base/text.h"

namespace orvex {
namespace platform {
namespace {

void AppendUtf16(const std::wstring& text, std::vector<uint8_t>* data) {
  for (wchar_t c : text) {
    data->push_back(static_cast<uint8_t>(c & 0xFF));
    data->push_back(static_cast<uint8_t>((c >> 8) & 0xFF));
  }
  data->push_back(0);
  data->push_back(0);
}

// The texts of UTF-16LE data, each ending at a zero unit.
std::vector<std::wstring> Utf16Texts(const std::vector<uint8_t>& data) {
  std::vector<std::wstring> texts;
  std::wstring current;
  for (std::size_t at = 0; at + 1 < data.size(); at += 2) {
    const wchar_t unit = static_cast<wchar_t>(data[at] | (data[at + 1] << 8));
    if (unit == 0) {
      texts.push_back(current);
      current.clear();
    } else {
      current.push_back(unit);
    }
  }
  if (!current.empty()) texts.push_back(current);
  return texts;
}

void AppendLittleEndian(uint64_t number, int bytes, std::vector<uint8_t>* data) {
  for (int i = 0; i < bytes; ++i) data->push_back(static_cast<uint8_t>(number >> (8 * i)));
}

uint64_t LittleEndian(const std::vector<uint8_t>& data) {
  uint64_t number = 0;
  for (std::size_t i = data.size(); i > 0; --i) number = (number << 8) | data[i - 1];
  return number;
}

bool HexBytes(const std::string& hex, std::vector<uint8_t>* data) {
  if (hex.size() % 2 != 0) return false;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    unsigned byte = 0;
    if (std::sscanf(hex.substr(i, 2).c_str(), "%2x", &byte) != 1) return false;
    data->push_back(static_cast<uint8_t>(byte));
  }
  return true;
}

}  // namespace

bool ProfileNumber(const std::string& text, uint64_t* number) {
  if (text.empty()) return false;
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  char* end = nullptr;
  errno = 0;
  const unsigned long long parsed =
      std::strtoull(text.c_str() + (hex ? 2 : 0), &end, hex ? 16 : 10);
  if (errno != 0 || *end != '\0' || end == text.c_str() + (hex ? 2 : 0)) return false;
  *number = parsed;
  return true;
}

bool ProfileNumber(const Json::Value& value, uint64_t* number) {
  if (value.isUInt64()) {
    *number = value.asUInt64();
    return true;
  }
  if (value.isInt64()) {
    *number = static_cast<uint64_t>(value.asInt64());
    return true;
  }
  if (value.isString()) return ProfileNumber(value.asString(), number);
  return false;
}

bool RegistryValueFromJson(const Json::Value& json, RegistryValue* value) {
  value->data.clear();
  if (json.isString()) {
    value->type = kRegSz;
    AppendUtf16(Utf8ToWide(json.asString()), &value->data);
    return true;
  }
  if (!json.isObject() || json.size() != 1) return false;
  const std::string notation = json.getMemberNames()[0];
  const Json::Value& content = json[notation];
  uint64_t number = 0;
  if (notation == "dword" && ProfileNumber(content, &number) && number <= 0xFFFFFFFFu) {
    value->type = kRegDword;
    AppendLittleEndian(number, 4, &value->data);
    return true;
  }
  if (notation == "qword" && ProfileNumber(content, &number)) {
    value->type = kRegQword;
    AppendLittleEndian(number, 8, &value->data);
    return true;
  }
  if (notation == "binary" && content.isString()) {
    value->type = kRegBinary;
    return HexBytes(content.asString(), &value->data);
  }
  if (notation == "expand_sz" && content.isString()) {
    value->type = kRegExpandSz;
    AppendUtf16(Utf8ToWide(content.asString()), &value->data);
    return true;
  }
  if (notation == "multi_sz" && content.isArray()) {
    value->type = kRegMultiSz;
    for (const Json::Value& item : content) {
      if (!item.isString()) return false;
      AppendUtf16(Utf8ToWide(item.asString()), &value->data);
    }
    // The list ends with an empty text.
    value->data.push_back(0);
    value->data.push_back(0);
    return true;
  }
  return false;
}

Json::Value RegistryValueToJson(const RegistryValue& value) {
  Json::Value json;
  const std::vector<std::wstring> texts = Utf16Texts(value.data);
  switch (value.type) {
    case kRegSz:
      return WideToUtf8(texts.empty() ? std::wstring() : texts[0]);
    case kRegExpandSz:
      json["expand_sz"] = WideToUtf8(texts.empty() ? std::wstring() : texts[0]);
      return json;
    case kRegMultiSz: {
      Json::Value& list = json["multi_sz"] = Json::Value(Json::arrayValue);
      for (const std::wstring& text : texts) {
        if (text.empty()) break;
        list.append(WideToUtf8(text));
      }
      return json;
    }
    case kRegDword:
      if (value.data.size() == 4) {
        json["dword"] = static_cast<Json::UInt>(LittleEndian(value.data));
        return json;
      }
      break;
    case kRegQword:
      if (value.data.size() == 8) {
        json["qword"] = static_cast<Json::UInt64>(LittleEndian(value.data));
        return json;
      }
      break;
  }
  std::string hex;
  char pair[3];
  for (uint8_t byte : value.data) {
    std::snprintf(pair, sizeof pair, "%02x", byte);
    hex += pair;
  }
  json["binary"] = hex;
  return json;
}

}  // namespace platform
}  // namespace orvex
