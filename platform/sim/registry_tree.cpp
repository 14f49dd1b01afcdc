#include "platform/sim/registry_tree.h"

#include "base/text.h"
#include "platform/profile_notation.h"

namespace orvex {
namespace sim {

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
      if (!platform::RegistryValueFromJson(values[name], &value)) {
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

}  // namespace sim
}  // namespace orvex
