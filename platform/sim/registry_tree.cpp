#include "platform/sim/registry_tree.h"

#include <cstdio>

#include "engine/text.h"

namespace orvex {
namespace sim {
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

RegistryTree::RegistryTree() = default;

RegistryNode* RegistryTree::Find(const std::vector<std::wstring>& path) {
  RegistryNode* node = &root_;
  for (const std::wstring& name : path) {
    auto found = node->subKeys.find(name);
    if (found == node->subKeys.end()) return nullptr;
    node = found->second.get();
  }
  return node;
}

RegistryNode* RegistryTree::Create(const std::vector<std::wstring>& path) {
  RegistryNode* node = &root_;
  for (const std::wstring& name : path) {
    std::unique_ptr<RegistryNode>& child = node->subKeys[name];
    if (!child) {
      child.reset(new RegistryNode);
      child->name = name;
    }
    node = child.get();
  }
  return node;
}

std::wstring RegistryTree::StoredPath(const std::vector<std::wstring>& path) {
  std::wstring stored;
  RegistryNode* node = &root_;
  for (const std::wstring& name : path) {
    RegistryNode* child = nullptr;
    if (node) {
      auto found = node->subKeys.find(name);
      if (found != node->subKeys.end()) child = found->second.get();
    }
    if (!stored.empty()) stored += L"\\";
    stored += child ? child->name : name;
    node = child;
  }
  return stored;
}

bool RegistryTree::Load(const Json::Value& registry, std::string* error) {
  if (registry.isNull()) return true;
  if (!registry.isObject()) {
    *error = "\"registry\" must be an object of keys";
    return false;
  }
  for (const std::string& keyPath : registry.getMemberNames()) {
    RegistryNode* key = Create(Split(Utf8ToWide(keyPath), L'\\', true));
    const Json::Value& values = registry[keyPath];
    if (values.isNull()) continue;
    if (!values.isObject()) {
      *error = "registry key \"" + keyPath + "\" must be an object of values";
      return false;
    }
    for (const std::string& name : values.getMemberNames()) {
      platform::RegistryValue value;
      if (!RegistryValueFromJson(values[name], &value)) {
        *error = "registry value \"" + keyPath + "\" \"" + name + "\" is not in a known notation";
        return false;
      }
      key->values[Utf8ToWide(name)] = value;
    }
  }
  return true;
}

std::vector<std::wstring> ViewPath(const std::wstring& path, platform::RegistryView view,
                                   bool machineIs64Bit) {
  std::vector<std::wstring> names = Split(path, L'\\', true);
  const bool redirected = machineIs64Bit && view != platform::RegistryView::k64Bit;
  if (redirected && !names.empty() && EqualsNoCase(names[0], L"SOFTWARE") &&
      !(names.size() > 1 && EqualsNoCase(names[1], L"WOW6432Node"))) {
    names.insert(names.begin() + 1, L"WOW6432Node");
  }
  return names;
}

bool RegistryValueFromJson(const Json::Value& json, platform::RegistryValue* value) {
  value->data.clear();
  if (json.isString()) {
    value->type = platform::kRegSz;
    AppendUtf16(Utf8ToWide(json.asString()), &value->data);
    return true;
  }
  if (!json.isObject() || json.size() != 1) return false;
  const std::string notation = json.getMemberNames()[0];
  const Json::Value& content = json[notation];
  uint64_t number = 0;
  if (notation == "dword" && ProfileNumber(content, &number) && number <= 0xFFFFFFFFu) {
    value->type = platform::kRegDword;
    AppendLittleEndian(number, 4, &value->data);
    return true;
  }
  if (notation == "qword" && ProfileNumber(content, &number)) {
    value->type = platform::kRegQword;
    AppendLittleEndian(number, 8, &value->data);
    return true;
  }
  if (notation == "binary" && content.isString()) {
    value->type = platform::kRegBinary;
    return HexBytes(content.asString(), &value->data);
  }
  if (notation == "expand_sz" && content.isString()) {
    value->type = platform::kRegExpandSz;
    AppendUtf16(Utf8ToWide(content.asString()), &value->data);
    return true;
  }
  if (notation == "multi_sz" && content.isArray()) {
    value->type = platform::kRegMultiSz;
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

Json::Value RegistryValueToJson(const platform::RegistryValue& value) {
  Json::Value json;
  const std::vector<std::wstring> texts = Utf16Texts(value.data);
  switch (value.type) {
    case platform::kRegSz:
      return WideToUtf8(texts.empty() ? std::wstring() : texts[0]);
    case platform::kRegExpandSz:
      json["expand_sz"] = WideToUtf8(texts.empty() ? std::wstring() : texts[0]);
      return json;
    case platform::kRegMultiSz: {
      Json::Value& list = json["multi_sz"] = Json::Value(Json::arrayValue);
      for (const std::wstring& text : texts) {
        if (text.empty()) break;
        list.append(WideToUtf8(text));
      }
      return json;
    }
    case platform::kRegDword:
      if (value.data.size() == 4) {
        json["dword"] = static_cast<Json::UInt>(LittleEndian(value.data));
        return json;
      }
      break;
    case platform::kRegQword:
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

}  // namespace sim
}  // namespace orvex
